#include "engine/message_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/log_reader.h"
#include "tests/fakes/fake_platform.h"

namespace kestrel::testing {
namespace {

constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\Src";
constexpr const char* kFallbackHead =
    "ｿｰｽ (Src) 内のｲﾍﾞﾝﾄ ID (4624) に関する説明が見つかりません。次の挿入文字列が含まれています:";

// One hand-on as the classifier saw it.
struct Handed {
    std::string message;
    std::vector<std::string> strings;  // entries up to the last non-null, "<null>" for null
};

class MessageTextTest : public ::testing::Test {
protected:
    // Both steps for one record, as the reader runs them.
    EventMessageText::Step Run(RecordShape shape) {
        shape.source = source_;
        bytes_ = BuildRecord(shape);
        const auto& record = *reinterpret_cast<const EventLogRecord*>(bytes_.data());
        FillInsertionTable(record, strings_);
        const KeptRecord kept{record, "\\\\PC01", "security", source_.c_str(), "2013/06/01 09:05:07  "};
        bool handedOn = false;
        const auto step = text_.ResolveCategoryText(kept);
        if (step == EventMessageText::Step::Done) text_.ResolveEventText(kept, strings_, handedOn);
        return step;
    }
    RecordShape Event(std::vector<std::string> strings = {"a", "b", "c"}, std::uint16_t category = 0) {
        RecordShape shape;
        shape.strings = std::move(strings);
        shape.category = category;
        return shape;
    }
    FakeMessageModules::File& Module(const std::string& sharePath) { return p_.modules.files[sharePath]; }
    std::string Line(const char* prefix, const std::string& text) {
        return prefix + std::string("[\\\\PC01][security][Src]:") + text + "\r\n";
    }
    std::vector<std::string> Loads() const {
        std::vector<std::string> loads;
        for (const auto& call : p_.modules.calls) {
            if (call.rfind("load ", 0) == 0) loads.push_back(call.substr(5));
        }
        return loads;
    }
    // Nothing is left loaded, open or allocated but the kept category block.
    void ExpectAllGivenBack() {
        EXPECT_EQ(p_.modules.loaded, 0);
        EXPECT_EQ(p_.registry.openKeys, 0);
        EXPECT_TRUE(text_.ReleaseCategoryBlock());
        EXPECT_TRUE(p_.memory.live.empty());
    }

    FakePlatform p_;
    std::string source_ = "Src";
    std::string report_;
    std::vector<Handed> handed_;
    std::vector<unsigned char> bytes_;
    InsertionTable strings_{};
    EventMessageText text_{
        {p_.registry, p_.modules, p_.memory, p_.errors, p_.fatal}, report_, [this](const LogEvent& event) {
            Handed h{event.message, {}};
            std::size_t last = event.strings.size();
            while (last > 0 && event.strings[last - 1] == nullptr) --last;
            for (std::size_t i = 0; i < last; ++i) {
                h.strings.push_back(event.strings[i] ? event.strings[i] : "<null>");
            }
            handed_.push_back(h);
        }};
};

TEST_F(MessageTextTest, UnregisteredSourceFallsBackWithoutLines) {
    Run(Event());
    Run(Event({}, 7));
    EXPECT_EQ(text_.CategoryText(), "(7) ﾚｼﾞｽﾄﾘにｴﾝﾄﾘが見つかりません。(2)");
    RecordShape high = Event({"x"});
    high.eventId = 0xC0011210;  // severity and customer bits over 4624
    Run(high);

    ASSERT_EQ(handed_.size(), 3u);
    EXPECT_EQ(handed_[0].message, std::string(kFallbackHead) + "a,b,c");
    EXPECT_EQ(handed_[1].message, kFallbackHead);
    EXPECT_EQ(handed_[2].message, std::string(kFallbackHead) + "x");
    EXPECT_EQ(report_, "");
    EXPECT_EQ(text_.CategoryText(), "なし");
    EXPECT_TRUE(p_.modules.calls.empty());
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, ModulePathsFromTheRegistryValue) {
    // A bare file name gains the system folder before expansion; the entry's
    // first character names the share.
    EXPECT_EQ(ExpandModulePath("sample.dll", p_.modules), "C:\\WINDOWS\\System32\\sample.dll");
    EXPECT_EQ(p_.modules.calls.back(), "expand %SystemRoot%\\System32\\sample.dll");
    EXPECT_EQ(ExpandModulePath("D:\\x.dll;y.dll", p_.modules), "D:\\x.dll;y.dll");
    // 表 is 0x95 0x5C in code page 932: its trail byte is no backslash.
    EXPECT_EQ(ExpandModulePath("表.dll", p_.modules), "C:\\WINDOWS\\System32\\表.dll");
    p_.modules.expandFails = true;
    EXPECT_EQ(ExpandModulePath("%X%\\a.dll", p_.modules), "%X%\\a.dll");
    p_.modules.expandFails = false;
    // Too long for the 1044-byte list both expanded and not: an empty list.
    EXPECT_EQ(ExpandModulePath(std::string(1030, 'x').c_str(), p_.modules), "");

    EXPECT_EQ(ToAdminSharePath("\\\\PC01", "C:\\WINNT\\system32\\sample.dll"),
              "\\\\PC01\\C$\\WINNT\\system32\\sample.dll");
    EXPECT_EQ(ToAdminSharePath("\\\\PC01", "C"), "\\\\PC01\\C$");

    using Entries = std::vector<std::string_view>;
    EXPECT_EQ(ModuleListEntries("a;b;c"), (Entries{"a", "b", "c"}));
    EXPECT_EQ(ModuleListEntries(";;a;;b;"), (Entries{"a", "b"}));
    EXPECT_EQ(ModuleListEntries(";"), Entries{});

    std::string path;
    EXPECT_TRUE(EventLogKeyPath("security", "Src", path));
    EXPECT_EQ(path, kKey);
    EXPECT_FALSE(EventLogKeyPath("security", std::string(1000, 's').c_str(), path));
}

TEST_F(MessageTextTest, CategoryFromTheFirstModuleThatFormatsIt) {
    p_.registry.SetText(kKey, "CategoryMessageFile", "C:\\gone.dll;C:\\nocat.dll;D:\\cat.dll");
    p_.registry.SetText(kKey, "EventMessageFile", "D:\\cat.dll");
    Module("\\\\PC01\\C$\\nocat.dll");
    Module("\\\\PC01\\D$\\cat.dll").messages = {{3, "Logon/Logoff"}, {4624, "msg"}};
    Run(Event({}, 3));

    EXPECT_EQ(text_.CategoryText(), "Logon/Logoff");
    EXPECT_EQ(report_, Line("ｴﾗｰ 027:", "ﾒｯｾｰｼﾞﾌｧｲﾙ \\\\PC01\\C$\\gone.dll の読み込みに失敗しました。") +
                           "原因 028:text of 126\r\n" + Line("ｴﾗｰ 031:", "ﾒｯｾｰｼﾞのﾌｫｰﾏｯﾄに失敗しました。") +
                           "原因 032:text of 317\r\n");
    EXPECT_NE(
        std::find(p_.modules.calls.begin(), p_.modules.calls.end(), "format \\\\PC01\\D$\\cat.dll 3 320000"),
        p_.modules.calls.end());
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, CategoryWithoutModuleValueAndCategoryZeroWriteNoLines) {
    p_.registry.SetText(kKey, "EventMessageFile", "C:\\msg.dll");
    Module("\\\\PC01\\C$\\msg.dll").messages[4624] = "m";
    Run(Event({}, 9));
    EXPECT_EQ(text_.CategoryText(), "(9) ﾒｯｾｰｼﾞﾌｧｲﾙが見つかりませんでした。(2)");
    p_.registry.SetText(kKey, "CategoryMessageFile", "C:\\gone.dll");
    Run(Event({}, 0));
    EXPECT_EQ(text_.CategoryText(), "なし");
    EXPECT_EQ(report_, "");
    ExpectAllGivenBack();
}

// The 256-byte block: kept while categories are 0, released after any other.
TEST_F(MessageTextTest, CategoryBlockLifetime) {
    Run(Event({}, 0));
    Run(Event({}, 0));
    EXPECT_EQ(p_.memory.sizes, std::vector<std::size_t>{256});
    EXPECT_EQ(p_.memory.live.size(), 1u);
    Run(Event({}, 5));
    EXPECT_TRUE(p_.memory.live.empty());
    Run(Event({}, 5));
    EXPECT_EQ(p_.memory.sizes, (std::vector<std::size_t>{256, 256}));

    p_.memory.failRelease = p_.memory.releases + 1;
    Run(Event({}, 5));
    EXPECT_EQ(p_.fatal.stops, std::vector<std::string>{"ｴﾗｰ 103|ﾒﾓﾘの開放に失敗しました。"});
}

TEST_F(MessageTextTest, NoMemoryForTheCategoryBlockStopsTheRead) {
    struct Case {
        const char* name;
        std::uint16_t category;
        const char* value;  // CategoryMessageFile; null: no key at all
        bool formats;       // the module loads but lacks the category
        const char* line;
        const char* cause;  // the last error is what the failed call before left
    };
    for (const Case& c : {Case{"category 0", 0, nullptr, false, "ｴﾗｰ 019:", "原因 020:text of 8"},
                          Case{"no key", 4, nullptr, false, "ｴﾗｰ 021:", "原因 022:text of 8"},
                          Case{"no value", 4, "", false, "ｴﾗｰ 023:", "原因 024:text of 8"},
                          Case{"no load", 4, "C:\\gone.dll", false, "ｴﾗｰ 025:", "原因 026:text of 126"},
                          Case{"no format", 4, "C:\\cat.dll", true, "ｴﾗｰ 029:", "原因 030:text of 317"}}) {
        SCOPED_TRACE(c.name);
        FakePlatform p;
        std::string report;
        int handOns = 0;
        EventMessageText text({p.registry, p.modules, p.memory, p.errors, p.fatal}, report,
                              [&](const LogEvent&) { ++handOns; });
        if (c.value != nullptr) {
            p.registry.keys[kKey];
            if (*c.value != '\0') p.registry.SetText(kKey, "CategoryMessageFile", c.value);
        }
        if (c.formats) p.modules.files["\\\\PC01\\C$\\cat.dll"];
        p.memory.failAllocation = 1;
        p.errors.last = 8;
        RecordShape shape = Event();
        shape.category = c.category;
        shape.source = "Src";
        const auto bytes = BuildRecord(shape);
        const KeptRecord kept{*reinterpret_cast<const EventLogRecord*>(bytes.data()), "\\\\PC01", "security",
                              "Src", ""};
        EXPECT_EQ(text.ResolveCategoryText(kept), EventMessageText::Step::Stop);
        const std::string head = std::string(c.line) + "[\\\\PC01][security][Src]:ﾒﾓﾘ不足です。\r\n";
        const std::size_t at = report.find(head);
        ASSERT_NE(at, std::string::npos) << report;
        EXPECT_EQ(report.substr(at), head + c.cause + "\r\n");
        EXPECT_EQ(p.registry.openKeys, 0);
        EXPECT_EQ(p.modules.loaded, 0);
        EXPECT_EQ(handOns, 0);
    }
}

TEST_F(MessageTextTest, EventMessageFromTheFirstModule) {
    p_.registry.SetText(kKey, "EventMessageFile", "C:\\msg.dll");
    Module("\\\\PC01\\C$\\msg.dll").messages[0xC0011210] = "user %1 from %3, %5.";
    RecordShape shape = Event({"a", "b", "c"});
    shape.eventId = 0xC0011210;
    Run(shape);

    ASSERT_EQ(handed_.size(), 1u);
    // Strings the event lacks are empty texts for the formatter, null for the classifier.
    EXPECT_EQ(handed_[0].message, "user a from c, .");
    EXPECT_EQ(p_.modules.nullArguments, 0);
    EXPECT_EQ(handed_[0].strings, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(p_.modules.calls.back(), "free \\\\PC01\\C$\\msg.dll");
    EXPECT_EQ(p_.registry.calls,
              (std::vector<std::string>{"open " + std::string(kKey), "query ParameterMessageFile 1040",
                                        "query EventMessageFile 1040", "close " + std::string(kKey)}));
    EXPECT_EQ(report_, "");
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, OnlyTheFirstAndTheLastEntryAreTried) {
    struct Case {
        const char* list;
        bool lastHasIt;
        std::vector<std::string> loads;
        const char* message;
    };
    const std::string fallback = std::string(kFallbackHead) + "a,b,c";
    for (const Case& c :
         {Case{"C:\\1.dll;C:\\3.dll", true, {"\\\\PC01\\C$\\1.dll", "\\\\PC01\\C$\\3.dll"}, "from 3"},
          Case{"C:\\1.dll;C:\\2.dll;C:\\3.dll",
               false,
               {"\\\\PC01\\C$\\1.dll", "\\\\PC01\\C$\\3.dll"},
               nullptr},
          Case{"C:\\1.dll;C:\\2.dll;C:\\3.dll",
               true,
               {"\\\\PC01\\C$\\1.dll", "\\\\PC01\\C$\\3.dll"},
               "from 3"},
          Case{"C:\\1.dll;;", true, {"\\\\PC01\\C$\\1.dll"}, nullptr}}) {
        SCOPED_TRACE(c.list);
        p_.modules.calls.clear();
        handed_.clear();
        p_.registry.SetText(kKey, "EventMessageFile", c.list);
        Module("\\\\PC01\\C$\\1.dll");
        Module("\\\\PC01\\C$\\2.dll").messages[4624] = "from 2";
        Module("\\\\PC01\\C$\\3.dll").messages.clear();
        if (c.lastHasIt) Module("\\\\PC01\\C$\\3.dll").messages[4624] = "from 3";
        Run(Event());
        EXPECT_EQ(Loads(), c.loads);
        ASSERT_EQ(handed_.size(), 1u);
        EXPECT_EQ(handed_[0].message, c.message != nullptr ? c.message : fallback);
        EXPECT_EQ(report_, "");
        EXPECT_EQ(p_.modules.loaded, 0);
    }
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, MessageModuleOutOfReachWritesTheFourLines) {
    p_.registry.SetText(kKey, "EventMessageFile", "C:\\gone.dll;C:\\there.dll");
    Module("\\\\PC01\\C$\\there.dll").messages[4624] = "never";
    p_.modules.loadError = 53;
    Run(Event());

    EXPECT_EQ(Loads(), std::vector<std::string>{"\\\\PC01\\C$\\gone.dll"});
    EXPECT_EQ(
        report_,
        "情報 050:text of 53\r\n"
        "原因 "
        "049:[\\\\PC01][security][Src]:ﾒｯｾｰｼﾞﾌｧｲﾙへｱｸｾｽできませんでした。ｾｷｭﾘﾃｨにより管理共有(c$,d$など)"
        "へｱｸｾｽできない,あるいはﾒｯｾｰｼﾞﾌｧｲﾙがみつかりません。(これはｴﾗｰではありません。)\r\n"
        "         "
        "[\\\\PC01][security][Src]:"
        "\\\\PC01のadministratorsｸﾞﾙｰﾌﾟにあなたが属しているか確認してください。あるいはこのｲﾍﾞﾝﾄﾛｸﾞを出力した"
        "ｿﾌﾄｳｪｱのﾒｰｶへ確認してください。\r\n"
        "         "
        "[\\\\PC01][security][Src]:"
        "ﾛｰｶﾙﾒｯｾｰｼﾞを変わりに使用しますが、ﾒｯｾｰｼﾞの一部が省略され、ﾊﾟﾗﾒｰﾀのみ表示される場合があります。\r\n");
    ASSERT_EQ(handed_.size(), 1u);
    EXPECT_EQ(handed_[0].message, std::string(kFallbackHead) + "a,b,c");
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, MissingOrUnusableMessageValueFallsBack) {
    p_.registry.keys[kKey];
    p_.errors.last = 203;  // the thread's last error, not the query's status
    Run(Event());
    EXPECT_EQ(report_, Line("ｴﾗｰ 051:", "ﾒｯｾｰｼﾞﾌｧｲﾙが指定されていません。") + "原因 052:text of 203\r\n");

    // Longer than the value buffer: the query fails as for an absent value.
    report_.clear();
    p_.registry.SetText(kKey, "EventMessageFile", std::string(1100, 'x'));
    Run(Event());
    EXPECT_EQ(report_.rfind("ｴﾗｰ 051:", 0), 0u);

    // An empty list after expansion: no load and no line.
    report_.clear();
    p_.registry.SetText(kKey, "EventMessageFile", std::string(1030, 'x'));
    Run(Event());
    EXPECT_EQ(report_, "");
    EXPECT_TRUE(Loads().empty());

    // A value filling the whole buffer with no terminator is read within it.
    p_.registry.keys[kKey].values["EventMessageFile"] = "C:\\" + std::string(1037, 'y');
    Run(Event());
    ASSERT_EQ(Loads().size(), 1u);
    EXPECT_EQ(Loads()[0], "\\\\PC01\\C$\\" + std::string(1037, 'y'));
    EXPECT_EQ(handed_.size(), 4u);
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, TooLongKeyPathCountsAsAnUnopenedKey) {
    source_.assign(1100, 's');
    Run(Event({}, 2));
    EXPECT_TRUE(p_.registry.calls.empty());
    EXPECT_EQ(text_.CategoryText(), "(2) ﾚｼﾞｽﾄﾘにｴﾝﾄﾘが見つかりません。(2)");
    ASSERT_EQ(handed_.size(), 1u);
    EXPECT_EQ(report_, "");
}

TEST_F(MessageTextTest, ParameterMessagesReplaceLeadingPercentPairs) {
    p_.registry.SetText(kKey, "ParameterMessageFile", "C:\\gone.dll;C:\\param.dll");
    auto& param = Module("\\\\PC01\\C$\\param.dll").messages;
    param[1833] = "Yes";
    param[12] = "twelve";
    Run(Event({"%%1833", "x%%1833", "%%18331", "%%12", "%%9999", "%%1833 and %%12."}));

    ASSERT_EQ(handed_.size(), 1u);
    EXPECT_EQ(handed_[0].strings,
              (std::vector<std::string>{"Yes", "x%%1833", "Yes1", "twelve", "%%9999", "Yes and twelve"}));
    EXPECT_EQ(report_, Line("ｴﾗｰ 045:", "ﾗｲﾌﾞﾗﾘ \\\\PC01\\C$\\gone.dll のﾛｰﾄﾞに失敗しました。") +
                           "原因 046:text of 126\r\n" + Line("ｴﾗｰ 051:", "ﾒｯｾｰｼﾞﾌｧｲﾙが指定されていません。") +
                           "原因 052:text of 317\r\n");
    EXPECT_NE(std::find(p_.modules.calls.begin(), p_.modules.calls.end(),
                        "format \\\\PC01\\C$\\param.dll 1833 510"),
              p_.modules.calls.end());
    // The fallback text shows the substituted strings.
    EXPECT_EQ(handed_[0].message,
              std::string(kFallbackHead) + "Yes,x%%1833,Yes1,twelve,%%9999,Yes and twelve");
    ExpectAllGivenBack();
}

TEST_F(MessageTextTest, ParameterModulesThatDoNotLoadLeaveTheStringsAsTheyAre) {
    p_.registry.SetText(kKey, "ParameterMessageFile", "C:\\gone.dll;;C:\\gone2.dll");
    Run(Event({"%%1833", "b"}));
    ASSERT_EQ(handed_.size(), 1u);
    EXPECT_EQ(handed_[0].strings, (std::vector<std::string>{"%%1833", "b"}));
    EXPECT_EQ(Loads().size(), 2u);
    EXPECT_NE(report_.find("ｴﾗｰ 045:[\\\\PC01][security][Src]:ﾗｲﾌﾞﾗﾘ \\\\PC01\\C$\\gone2.dll"),
              std::string::npos);
}

TEST_F(MessageTextTest, TenthAndLaterSubstitutionsShareTheNinthSlot) {
    p_.registry.SetText(kKey, "ParameterMessageFile", "C:\\param.dll");
    auto& param = Module("\\\\PC01\\C$\\param.dll").messages;
    std::vector<std::string> strings;
    for (int i = 0; i < 11; ++i) {
        param[static_cast<std::uint32_t>(1000 + i)] = "p" + std::to_string(i);
        strings.push_back("%%" + std::to_string(1000 + i));
    }
    Run(Event(strings));
    ASSERT_EQ(handed_.size(), 1u);
    EXPECT_EQ(handed_[0].strings, (std::vector<std::string>{"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7",
                                                            "p10", "p10", "p10"}));
    EXPECT_EQ(strings_[8], strings_[10]);
}

TEST_F(MessageTextTest, SubstitutionStaysInsideTextAndSlot) {
    auto& param = p_.modules.files["p"].messages;
    param[1] = "one";
    param[12] = "twelve";
    auto* module = p_.modules.LoadDataFile("p");
    // Fewer than four characters before the end: what is there is the number.
    EXPECT_EQ(SubstituteParameters("%%1", module, p_.modules, p_.memory), "one");
    EXPECT_EQ(SubstituteParameters("a%%12", module, p_.modules, p_.memory), "atwelve");
    EXPECT_EQ(SubstituteParameters("%%77", module, p_.modules, p_.memory), "%%77");
    EXPECT_EQ(SubstituteParameters("%%", module, p_.modules, p_.memory), "%%");
    p_.modules.Free(module);

    // Cut between characters: "あ" is two bytes.
    std::array<char, kParameterSlotSize> slot;
    std::string wide;
    for (int i = 0; i < 600; ++i) wide += "あ";
    CopyToSlot(wide, slot);
    EXPECT_EQ(std::strlen(slot.data()), 1022u);
    CopyToSlot("x" + wide, slot);
    EXPECT_EQ(std::strlen(slot.data()), 1023u);
    EXPECT_EQ(std::string(slot.data() + 1021), "あ");
    CopyToSlot(std::string(2000, 'z'), slot);
    EXPECT_EQ(std::strlen(slot.data()), 1023u);
    EXPECT_TRUE(p_.memory.live.empty());
}

// The reader runs both steps for each kept record and ends with ReadFailed
// when the category block cannot be had.
TEST(MessageTextInReader, RowsUseSubstitutedStringsAndShortageEndsTheRead) {
    FakePlatform p;
    MemoryResultTable table;
    EventClassifier classifier(table);
    CollectJob job;
    job.FromLogStart = job.ToLogEnd = 1;
    std::string report;
    LogReader reader(p.Services(), job, report, classifier);
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\Auditing";
    p.registry.SetText(key, "ParameterMessageFile", "msobjs.dll");
    p.modules.files["\\\\pc01\\C$\\WINDOWS\\System32\\msobjs.dll"].messages[1793] = "SYSTEM2";
    RecordShape shape;
    shape.source = "Auditing";
    shape.strings = {"", "", "", "", "", "%%1793", "DOM", "", "3"};
    p.eventLog.At("\\\\pc01").records = {BuildRecord(shape), BuildRecord(shape)};

    EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1].texts[kColumnUser], "SYSTEM2");
    EXPECT_NE(report.find("ｴﾗｰ 051:"), std::string::npos);
    EXPECT_TRUE(p.memory.live.empty());

    // ReadBuffer first, then the category block.
    p.memory.failAllocation = p.memory.allocations + 2;
    p.errors.last = 8;
    report.clear();
    EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadFailed);
    EXPECT_EQ(report, "ｴﾗｰ 019:[\\\\pc01][security][Auditing]:ﾒﾓﾘ不足です。\r\n原因 020:text of 8\r\n");
    EXPECT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(p.eventLog.openHandles, 0);
    EXPECT_TRUE(p.memory.live.empty());
    EXPECT_TRUE(p.fatal.stops.empty());
}

}  // namespace
}  // namespace kestrel::testing
