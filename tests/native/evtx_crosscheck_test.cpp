// Every exported log in the shared folder, record for record against libevtx
// (python3-libevtx, through tests/evtx/libevtx_records.py).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/utf16_cp932.h"
#include "evtx/byte_source.h"
#include "evtx/event.h"
#include "tests/evtx/evtx_builder.h"
#include "tests/evtx/read_events.h"

namespace kestrel {
namespace {

const std::string kShared = std::string(KESTREL_SHARED_DIR) + "/evtx/";
const std::string kScript = std::string(KESTREL_SOURCE_DIR) + "/tests/evtx/libevtx_records.py";

struct Expected {
    std::uint32_t eventId, timeGenerated, timeWritten, eventType, category;
    std::string source, computer, data;
    std::vector<std::string> strings;
};

std::string FromHexUtf8(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return Utf8ToCp932(bytes);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// Records by identifier; false when libevtx's binding cannot be run here.
bool ReadWithLibevtx(const std::string& file, std::map<std::uint64_t, Expected>& records) {
    const std::string command = "/usr/bin/python3 '" + kScript + "' '" + file + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::string output;
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    if (pclose(pipe) != 0) return false;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = Split(line, '\t');
        if (f.size() != 10) continue;  // "skip": a record libevtx could not read
        Expected e;
        e.eventId = static_cast<std::uint32_t>(std::stoul(f[1]));
        e.timeGenerated = static_cast<std::uint32_t>(std::stoul(f[2]));
        e.timeWritten = static_cast<std::uint32_t>(std::stoul(f[3]));
        e.eventType = static_cast<std::uint32_t>(std::stoul(f[4]));
        e.category = static_cast<std::uint32_t>(std::stoul(f[5]));
        e.source = FromHexUtf8(f[6]);
        e.computer = FromHexUtf8(f[7]);
        e.data = f[8];
        const std::vector<std::string> strings = Split(f[9], ',');
        for (std::size_t i = 1; i < strings.size(); ++i) e.strings.push_back(FromHexUtf8(strings[i]));
        records[std::stoull(f[0])] = e;
    }
    return true;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 0xF];
    }
    return text;
}

// libevtx writes hexadecimal integers zero-padded to their width and size_t
// values in decimal; Windows writes both as 0x without padding. Such pairs
// count as equal when the numbers are.
bool SameValue(const std::string& ours, const std::string& theirs) {
    if (ours == theirs) return true;
    auto number = [](const std::string& text, unsigned long long& value) {
        if (text.empty() || text.size() > 18) return false;
        const bool hex = text.size() > 2 && text[0] == '0' && text[1] == 'x';
        const std::string digits = hex ? text.substr(2) : text;
        if (digits.empty() ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
            return false;
        }
        value = std::stoull(digits, nullptr, hex ? 16 : 10);
        return true;
    };
    unsigned long long a = 0, b = 0;
    return ours.rfind("0x", 0) == 0 && number(ours, a) && number(theirs, b) && a == b;
}

struct LogFile {
    const char* name;
    std::size_t records;  // at least this many
    int logons, failures, logoffs;
};

class EvtxCrossCheck : public ::testing::TestWithParam<LogFile> {};

TEST_P(EvtxCrossCheck, RecordForRecordAsLibevtxReadsIt) {
    const LogFile& log = GetParam();
    const std::string path = kShared + log.name;
    std::map<std::uint64_t, Expected> expected;
    if (!ReadWithLibevtx(path, expected)) GTEST_SKIP() << "python3-libevtx is not available";

    evtx::FileBytes file;
    ASSERT_TRUE(file.Open(path));
    const testing::ReadEventsResult read = testing::ReadEvents(file, 2);
    ASSERT_TRUE(read.opened);

    std::map<std::uint64_t, evtx::Event> ours;
    int logons = 0, failures = 0, logoffs = 0;
    std::uint64_t previous = ~0ull;
    for (const evtx::Event& event : read.events) {
        EXPECT_LT(event.recordId, previous) << "newest first";
        previous = event.recordId;
        logons += event.eventId == 4624;
        failures += event.eventId == 4625;
        logoffs += event.eventId == 4634;
        ours[event.recordId] = event;
    }
    EXPECT_GE(ours.size(), log.records);
    EXPECT_GE(ours.size(), expected.size());
    EXPECT_EQ(logons, log.logons);
    EXPECT_EQ(failures, log.failures);
    EXPECT_EQ(logoffs, log.logoffs);

    int mismatches = 0;
    for (const auto& [id, want] : expected) {
        const auto found = ours.find(id);
        if (found == ours.end()) {
            ADD_FAILURE() << "record " << id << " is missing";
            if (++mismatches > 10) break;
            continue;
        }
        const evtx::Event& got = found->second;
        const std::vector<std::string> strings = testing::InsertionStrings(got);
        bool same = got.eventId == want.eventId && got.timeGenerated == want.timeGenerated &&
                    got.timeWritten == want.timeWritten && got.eventType == want.eventType &&
                    got.category == want.category && got.source == want.source &&
                    got.computer == want.computer && Hex(got.data) == want.data &&
                    strings.size() == want.strings.size();
        for (std::size_t i = 0; same && i < strings.size(); ++i)
            same = SameValue(strings[i], want.strings[i]);
        if (!same) {
            std::ostringstream report;
            report << "record " << id << ": id " << got.eventId << "/" << want.eventId << " generated "
                   << got.timeGenerated << "/" << want.timeGenerated << " written " << got.timeWritten << "/"
                   << want.timeWritten << " type " << got.eventType << "/" << want.eventType << " category "
                   << got.category << "/" << want.category << " source [" << got.source << "]/["
                   << want.source << "] computer [" << got.computer << "]/[" << want.computer << "] data "
                   << Hex(got.data) << "/" << want.data << " strings " << strings.size() << "/"
                   << want.strings.size() << ":";
            for (std::size_t i = 0; i < std::max(strings.size(), want.strings.size()); ++i) {
                report << " [" << (i < strings.size() ? strings[i] : "-") << "|"
                       << (i < want.strings.size() ? want.strings[i] : "-") << "]";
            }
            ADD_FAILURE() << report.str();
            if (++mismatches > 10) break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SharedLogs, EvtxCrossCheck,
                         ::testing::Values(LogFile{"security.evtx", 2261, 583, 0, 11},
                                           LogFile{"security_bad_string_cache.evtx", 2261, 583, 0, 11},
                                           LogFile{"Security_with_size_t.evtx", 636, 126, 15, 17},
                                           LogFile{"post-Security.evtx", 126, 25, 0, 0},
                                           LogFile{"Security_short_selected.evtx", 7, 0, 1, 0},
                                           LogFile{"sample_with_a_bad_chunk_magic.evtx", 267, 0, 0, 0},
                                           LogFile{"system.evtx", 1881, 0, 0, 0}),
                         [](const ::testing::TestParamInfo<LogFile>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace kestrel
