// --format ecs and --format timesketch against --format jsonl: the same rows
// of every event of the shared logs and of the sample site (its domain
// controller writes the nine events beyond the table's three), each value
// where the other format has it.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "collector/ecs_output.h"
#include "collector/output_text.h"
#include "collector/timesketch_output.h"
#include "tests/native/flat_json.h"
#include "tests/native/folder_site_test.h"
#include "tests/native/security_events.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

constexpr std::time_t kSiteEnd = 1710471600;  // 2024-03-15 12:00 in Tokyo

class OutputFormatsTest : public FolderSiteTest {
protected:
    OutputFormatsTest() {
        std::filesystem::remove_all(site_);
        std::string error;
        EXPECT_TRUE(sample::WriteSiteFiles(site, site_, error)) << error;
        const std::filesystem::path shared = std::string(KESTREL_SHARED_DIR) + "/evtx";
        for (const auto& [computer, file] : {std::pair{"PC-A", "security.evtx"},
                                             {"PC-B", "Security_with_size_t.evtx"},
                                             {"PC-D", "post-Security.evtx"},
                                             {"PC-E", "security_bad_string_cache.evtx"}}) {
            std::filesystem::create_directories(site_ / computer);
            std::filesystem::copy_file(shared / file, site_ / computer / "Security.evtx");
        }
    }

    std::vector<FlatJson> Lines(const std::string& format, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--log-dir", site_.string(), "--from", "2000-01-01", "--events",
                                              "all",       "--jobs",       "1",      "--format",   format};
        arguments.insert(arguments.end(), more.begin(), more.end());
        if (more.empty()) {
            for (const char* c : {"PC-A", "PC-B", "PC-D", "PC-E", "localhost", "PC01", "SV01", "DC01"})
                arguments.push_back(c);
        }
        std::string out, err;
        RunCollector(arguments, out, err);
        return ParseJsonLines(out);
    }

    const sample::Site site = sample::MakeSite(kSiteEnd, 1);
};

const JsonValue* Find(const FlatJson& line, const std::string& key) {
    const auto found = line.find(key);
    return found == line.end() ? nullptr : &found->second;
}

bool IsNone(const JsonValue* v) {
    return v == nullptr || v->type == JsonValue::Null || (v->type == JsonValue::String && v->text.empty()) ||
           (v->type == JsonValue::String && v->text == "-");
}

// "2024-03-15T09:21:42+09:00" as seconds since 1970.
std::time_t Seconds(const std::string& iso) {
    std::tm t{};
    strptime(iso.substr(0, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &t);
    const int offset = (std::stoi(iso.substr(20, 2)) * 60 + std::stoi(iso.substr(23, 2))) * 60;
    return timegm(&t) - (iso[19] == '-' ? -offset : offset);
}

enum class As { Same, Text, Utc, Outcome, Among };
struct Mapping {
    const char* ecs;
    const char* jsonl;
    As as;
};

// Each ECS field and the jsonl key it comes from.
const Mapping kMappings[] = {
    {"@timestamp", "time", As::Utc},
    {"host.name", "computer", As::Same},
    {"winlog.computer_name", "origin", As::Same},
    {"winlog.record_id", "record_id", As::Text},
    {"winlog.event_id", "event_id", As::Text},
    {"event.code", "event_id", As::Text},
    {"user.name", "user", As::Same},
    {"user.domain", "domain", As::Same},
    {"source.ip", "ip", As::Same},
    {"source.ip", "client_address", As::Same},
    {"source.port", "port", As::Same},
    {"source.domain", "workstation", As::Same},
    {"source.domain", "caller_computer", As::Same},
    {"source.domain", "client_name", As::Same},
    {"process.executable", "process", As::Same},
    {"winlog.logon.id", "logon_id", As::Same},
    {"winlog.event_data.LogonType", "logon_type", As::Text},
    {"winlog.event_data.Status", "status", As::Same},
    {"winlog.event_data.SubStatus", "sub_status", As::Same},
    {"winlog.logon.failure.reason", "failure_reason", As::Same},
    {"event.outcome", "failure_reason", As::Outcome},
    {"winlog.event_data.TargetServerName", "target_server", As::Same},
    {"winlog.event_data.PrivilegeList", "privileges", As::Same},
    {"winlog.event_data.ServiceName", "service", As::Same},
    {"winlog.event_data.TicketEncryptionType", "ticket_encryption", As::Same},
    {"winlog.event_data.SessionName", "session_name", As::Same},
    {"winlog.event_data.SubjectUserName", "subject_user", As::Same},
    {"winlog.event_data.SubjectDomainName", "subject_domain", As::Same},
    {"related.user", "user", As::Among},
    {"related.user", "subject_user", As::Among},
    {"related.ip", "ip", As::Among},
    {"related.ip", "client_address", As::Among},
};

// What the ECS field must hold for the jsonl value; "" for no field.
std::string Expected(const JsonValue* from, As as) {
    if (as == As::Outcome) return IsNone(from) ? "success" : "failure";
    if (IsNone(from)) return "";
    if (as != As::Utc) return from->text;
    char text[32];
    const std::time_t utc = Seconds(from->text);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&utc));
    return text;
}

TEST_F(OutputFormatsTest, EcsFieldsHoldTheJsonLinesValues) {
    const std::vector<FlatJson> jsonl = Lines("jsonl"), ecs = Lines("ecs");
    ASSERT_EQ(ecs.size(), jsonl.size());
    ASSERT_GT(ecs.size(), 3000u);
    std::map<std::string, std::size_t> checked;
    std::map<std::string, std::set<std::string>> actions;  // by kind
    for (std::size_t i = 0; i < ecs.size(); ++i) {
        for (const auto& [key, value] : jsonl[i]) {
            bool mapped = key == "kind";
            for (const Mapping& m : kMappings) mapped = mapped || key == m.jsonl;
            EXPECT_TRUE(mapped) << key;
        }
        actions[Find(jsonl[i], "kind")->text].insert(Find(ecs[i], "event.action")->text);
        for (const Mapping& m : kMappings) {
            const JsonValue* from = Find(jsonl[i], m.jsonl);
            if (from == nullptr && m.as != As::Outcome) continue;  // not a key of this kind
            const JsonValue* to = Find(ecs[i], m.ecs);
            const std::string want = Expected(from, m.as);
            SCOPED_TRACE(std::string(m.ecs) + " <- " + m.jsonl + " in record " +
                         Find(jsonl[i], "record_id")->text);
            if (m.as == As::Among) {
                std::set<std::string> items;
                for (const JsonValue& item : to != nullptr ? to->items : std::vector<JsonValue>{})
                    EXPECT_TRUE(items.insert(item.text).second) << "twice: " << item.text;
                EXPECT_TRUE(want.empty() || items.count(want) == 1) << want;
            } else if (want.empty()) {
                EXPECT_EQ(to, nullptr) << to->text;
            } else {
                ASSERT_NE(to, nullptr) << want;
                EXPECT_EQ(to->text, want);
                EXPECT_EQ(to->type, m.as == As::Same ? from->type : JsonValue::String);
            }
            checked[m.ecs + std::string("<-") + m.jsonl] += !want.empty();
        }
    }
    for (const Mapping& m : kMappings) EXPECT_GT((checked[m.ecs + std::string("<-") + m.jsonl]), 0u) << m.ecs;
    // One action a kind, another for each of the twelve kinds.
    std::set<std::string> distinct;
    for (const auto& [kind, names] : actions) {
        EXPECT_EQ(names.size(), 1u) << kind;
        distinct.insert(*names.begin());
    }
    EXPECT_EQ(actions.size(), 12u);
    EXPECT_EQ(distinct.size(), 12u);
}

// The generator's field of the sample site's record, as text.
std::string FieldOf(const sample::Site& site, const std::string& computer, std::uint64_t record,
                    const std::string& name) {
    for (const sample::ComputerLog& log : site.logs) {
        for (const sample::SecurityEvent& e : log.events) {
            if (log.name != computer || e.recordId != record) continue;
            const sample::EventShape* shape = sample::FindEventShape(e.id);
            for (std::size_t i = 0; shape != nullptr && i < shape->fields.size(); ++i) {
                if (sample::Utf8(shape->fields[i].name) == name) return sample::Utf8(e.data[i]);
            }
        }
    }
    return "(none)";
}

TEST_F(OutputFormatsTest, EcsKeepsTheEventsDataUnderItsOwnNamesAndOnlyEcsFields) {
    // A short list of what ECS defines; all else lies under winlog.
    const std::set<std::string> ecsFields = {"@timestamp",
                                             "message",
                                             "event.code",
                                             "event.action",
                                             "event.category",
                                             "event.type",
                                             "event.outcome",
                                             "event.kind",
                                             "event.provider",
                                             "host.name",
                                             "user.name",
                                             "user.domain",
                                             "user.id",
                                             "source.ip",
                                             "source.port",
                                             "source.domain",
                                             "process.executable",
                                             "related.user",
                                             "related.ip"};
    // ECS's categories and the types each allows.
    const std::map<std::string, std::set<std::string>> categories = {
        {"authentication", {"start", "end", "info"}},
        {"session", {"start", "end", "info"}},
        {"iam", {"admin", "change", "creation", "deletion", "group", "info", "user"}}};
    std::size_t fromSite = 0;
    for (const FlatJson& line : Lines("ecs")) {
        for (const auto& [key, value] : line) {
            EXPECT_TRUE(ecsFields.count(key) == 1 || key.rfind("winlog.", 0) == 0) << key;
            EXPECT_EQ(value.type == JsonValue::Array,
                      key == "event.category" || key == "event.type" || key.rfind("related.", 0) == 0)
                << key;
        }
        for (const JsonValue& category : Find(line, "event.category")->items) {
            ASSERT_EQ(categories.count(category.text), 1u) << category.text;
            for (const JsonValue& type : Find(line, "event.type")->items)
                EXPECT_EQ(categories.at(category.text).count(type.text), 1u)
                    << category.text << " " << type.text;
        }
        const std::string computer = Find(line, "host.name")->text;
        if (computer.rfind("PC-", 0) == 0) continue;  // the shared logs: no generator to ask
        ++fromSite;
        const std::uint64_t record = std::stoull(Find(line, "winlog.record_id")->text);
        std::string sid;
        for (const auto& [key, value] : line) {
            if (key.rfind("winlog.event_data.", 0) != 0) continue;
            const std::string name = key.substr(18);
            std::string want = FieldOf(site, computer, record, name);
            if (want.rfind("0x", 0) == 0) {  // hex as the collector writes it: lower case, no leading zeros
                for (char& c : want) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                want.erase(2, std::min(want.find_first_not_of('0', 2), want.size() - 1) - 2);
            }
            EXPECT_EQ(value.text, want) << name << " of " << computer << " " << record;
            if (name == "TargetUserSid" || name == "TargetSid" || name == "SubjectUserSid") sid = value.text;
        }
        const JsonValue* id = Find(line, "user.id");
        EXPECT_EQ(id != nullptr ? id->text : "", Find(line, "event.code")->text == "4648" ? "" : sid)
            << record;
    }
    EXPECT_GT(fromSite, 1500u);
}

TEST_F(OutputFormatsTest, EcsChannelIsTheLogRead) {
    const std::vector<FlatJson> forwarded = Lines("ecs", {"--log", "ForwardedEvents", "SV01"});
    ASSERT_FALSE(forwarded.empty());
    for (const FlatJson& line : forwarded) {
        EXPECT_EQ(Find(line, "winlog.channel")->text, "ForwardedEvents");
        EXPECT_NE(Find(line, "winlog.computer_name")->text, "SV01.kestrel.local")
            << "the forwarding computer's";
    }
    EXPECT_EQ(Find(Lines("ecs", {"DC01"}).at(0), "winlog.channel")->text, "Security");
}

TEST_F(OutputFormatsTest, TimesketchLinesAreTheJsonLinesWithOneTypeAKey) {
    const std::vector<FlatJson> jsonl = Lines("jsonl"), sketch = Lines("timesketch");
    ASSERT_EQ(sketch.size(), jsonl.size());
    std::map<std::string, std::set<JsonValue::Type>> types;
    std::map<std::string, std::set<std::string>> leftOut;  // keys a line leaves out, and why
    for (std::size_t i = 0; i < sketch.size(); ++i) {
        const FlatJson& line = sketch[i];
        for (const auto& [key, value] : line) types[key].insert(value.type);
        for (const char* key : {"message", "datetime", "timestamp", "timestamp_desc"})
            ASSERT_NE(Find(line, key), nullptr) << key;
        EXPECT_EQ(Find(line, "_id"), nullptr);
        EXPECT_FALSE(Find(line, "message")->text.empty());
        EXPECT_EQ(Find(line, "timestamp_desc")->text, "Event Recorded");
        EXPECT_EQ(Find(line, "datetime")->text, Find(jsonl[i], "time")->text);
        EXPECT_EQ(Find(line, "timestamp")->text,
                  std::to_string(Seconds(Find(line, "datetime")->text)) + "000000");
        for (const auto& [key, value] : jsonl[i]) {
            const JsonValue* kept = Find(line, key);
            if (value.type != JsonValue::Null) {
                ASSERT_NE(kept, nullptr) << key;
                EXPECT_EQ(kept->type, value.type) << key;
                EXPECT_EQ(kept->text, value.text) << key;
            } else if (kept == nullptr) {
                leftOut[key].insert("left out");
            } else {
                EXPECT_EQ(kept->text, "") << key;
            }
        }
    }
    for (const auto& [key, set] : types) EXPECT_EQ(set.size(), 1u) << key;
    // A key left out where it had no value is a number where it has one.
    for (const auto& [key, why] : leftOut) EXPECT_EQ(*types[key].begin(), JsonValue::Number) << key;
    EXPECT_EQ(leftOut.count("port"), 1u);
    const std::vector<FlatJson> messages = Lines("timesketch", {"--messages", "DC01"});
    ASSERT_FALSE(messages.empty());
    for (const FlatJson& line : messages) {
        ASSERT_NE(Find(line, "event_message"), nullptr);
        EXPECT_EQ(Find(line, "event_message")->type, JsonValue::String);
        EXPECT_NE(Find(line, "message")->text, "");
    }
}

TEST(TimesketchMessage, SaysWhatHappenedToWhomFromWhere) {
    struct Case {
        Event event;
        const char* message;
    };
    // The events keep their strings where they were made: no copies.
    Case cases[] = {
        {Failed("0xc000006d", "0xc000006a"),
         "ログオン失敗 admin@PC01 from 203.0.113.9 (パスワードが違います)"},
        {Logon(5, "tanaka", "0x3e7a", "10"), "ログオン KESTREL\\tanaka@PC01 from 192.168.1.7 (ﾘﾓｰﾄ対話型)"},
        {Logoff(4634, 9, "0x3e7a", kMoment), "ログオフ KESTREL\\tanaka@PC01 (ﾘﾓｰﾄ対話型)"}};
    for (Case& c : cases) {
        EventDetails details;
        ASSERT_TRUE(ReadEventDetails(c.event.Get(), details));
        std::string message;
        TimesketchRowOutput::AppendMessage(details, "PC01", message);
        EXPECT_EQ(message, c.message);
    }
}

TEST(EcsAddress, OnlyWhatAnIpFieldTakes) {
    for (const char* ip : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "::1", "::", "fe80::1",
                           "::ffff:192.168.10.21", "1:2:3:4:5:6:7:8", "1::8", "2001:db8::1:0:0:1"}) {
        EXPECT_TRUE(IsIpAddress(ip)) << ip;
    }
    for (const char* text : {"", "-", "LOCAL", "256.1.1.1", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.4:80",
                             "fe80::1%12", ":::", "1:2:3:4:5:6:7:8:9", "1::2::3", "12345::1", "1:2:3:4:5:6:7",
                             "::ffff:1.2.3", "1.2.3.4::", "g::1", "1:", ":1"}) {
        EXPECT_FALSE(IsIpAddress(text)) << text;
    }
}

}  // namespace
}  // namespace kestrel::testing
