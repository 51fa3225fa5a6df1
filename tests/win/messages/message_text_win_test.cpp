// The message-text steps against Wine's own registry, module loader and
// formatter, with the test module loaded over \\localhost\C$.
#include <gtest/gtest.h>

#include <windows.h>

#include "engine/classification.h"
#include "engine/log_reader.h"
#include "engine/message_text.h"
#include "tests/fakes/fake_services.h"
#include "tests/win/messages/message_fixture.h"

namespace kestrel::testing {
namespace {

constexpr const char* kComputer = "\\\\localhost";

class MessageTextWin : public ::testing::Test {
protected:
    MessageTextWin() : source_(UniqueSourceName("KestrelMessageTest")) {}

    void SetUp() override {
        ASSERT_TRUE(module_.ok()) << "the test module could not be copied to C:";
        ASSERT_TRUE(source_.ok()) << "the source key could not be made";
    }

    // Both steps for one record, as the reader runs them.
    void Run(RecordShape shape) {
        shape.source = source_.source();
        bytes_ = BuildRecord(shape);
        const auto& record = *reinterpret_cast<const EventLogRecord*>(bytes_.data());
        FillInsertionTable(record, strings_);
        const KeptRecord kept{record, kComputer, "security", source_.source().c_str(),
                              "2013/06/01 09:05:07  "};
        bool handedOn = false;
        ASSERT_EQ(text_.ResolveCategoryText(kept), EventMessageText::Step::Done);
        text_.ResolveEventText(kept, strings_, handedOn);
        EXPECT_TRUE(handedOn);
    }
    std::string Head(const char* prefix) {
        return prefix + std::string("[\\\\localhost][security][") + source_.source() + "]:";
    }

    ModuleOnDriveC module_;
    RegisteredSource source_;
    RealServices services_;
    MemoryResultTable table_;
    EventClassifier classifier_{table_};
    std::string report_;
    std::vector<std::string> messages_;
    std::vector<unsigned char> bytes_;
    InsertionTable strings_{};
    EventMessageText text_{services_.Services(), report_, [this](const LogEvent& event) {
                               messages_.push_back(event.message);
                               classifier_.InsertEventMessage(event);
                           }};
};

TEST_F(MessageTextWin, CategoryMessageAndParameterFromTheModuleOverTheShare) {
    source_.Set("CategoryMessageFile", module_.path());
    source_.Set("EventMessageFile", module_.path());
    source_.Set("ParameterMessageFile", module_.path());
    RecordShape shape;
    shape.category = 3;
    shape.strings = {"S-1-5-18", "PC01$", "WORKGROUP", "0x3e7", "S-1-5-21-1",
                     "%%1842",   "DOM",   "0x1234",    "2",     "User32"};
    Run(shape);

    EXPECT_EQ(text_.CategoryText(), "ログオン/ログオフ\r\n");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0],
              "アカウント DOM\\ﾊﾟﾗﾒｰﾀ利用者 がログオンしました。種類 2、呼び出し元 S-1-5-18。\r\n");
    // The classifier read the parameter message in place of "%%1842".
    ASSERT_EQ(table_.rows.size(), 1u);
    EXPECT_EQ(table_.rows[0].texts[kColumnUser], "ﾊﾟﾗﾒｰﾀ利用者");
    EXPECT_EQ(table_.rows[0].texts[kColumnLogonType], "ローカル");
    EXPECT_EQ(report_, "");

    // Severity bits over 4624: the module is asked for the whole number.
    shape.eventId = 0x40001210;
    shape.strings = {"%%1833"};
    Run(shape);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1], "Informational はい\r\n");
}

TEST_F(MessageTextWin, ModuleThatIsNotThereGivesTheFourLinesAndTheFallback) {
    const std::string missing = module_.folder() + "\\missing.dll";
    source_.Set("EventMessageFile", missing + ";" + module_.path());
    const std::string share = "\\\\localhost\\C$" + missing.substr(2);
    // Wine's own reason for the failed load, as the line must carry it.
    SetLastError(0);
    ASSERT_EQ(LoadLibraryExA(share.c_str(), nullptr, 3), nullptr);
    const std::string reason = services_.errors.SystemText(GetLastError());
    ASSERT_EQ(reason.find("ｴﾗｰｺｰﾄﾞ"), std::string::npos) << reason;

    RecordShape shape;
    shape.eventId = 4624;
    shape.strings = {"a", "b"};
    Run(shape);

    const std::string& s = source_.source();
    EXPECT_EQ(report_, "情報 050:" + reason + Head("原因 049:") +
                           "ﾒｯｾｰｼﾞﾌｧｲﾙへｱｸｾｽできませんでした。ｾｷｭﾘﾃｨにより管理共有(c$,d$など)へｱｸｾｽできない,"
                           "あるいはﾒｯｾｰｼﾞﾌｧｲﾙがみつかりません。(これはｴﾗｰではありません。)\r\n" +
                           Head("         ") +
                           "\\\\localhostのadministratorsｸﾞﾙｰﾌﾟにあなたが属しているか確認してください。あるい"
                           "はこのｲﾍﾞﾝﾄﾛｸﾞを出力したｿﾌﾄｳｪｱのﾒｰｶへ確認してください。\r\n" +
                           Head("         ") +
                           "ﾛｰｶﾙﾒｯｾｰｼﾞを変わりに使用しますが、ﾒｯｾｰｼﾞの一部が省略され、ﾊﾟﾗﾒｰﾀのみ表示される場"
                           "合があります。\r\n");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0],
              "ｿｰｽ (" + s +
                  ") 内のｲﾍﾞﾝﾄ ID (4624) に関する説明が見つかりません。次の挿入文字列が含まれています:a,b");
}

// The forwarders one by one, where Wine and Windows could differ.
TEST(MessageForwarders, RegistryEnvironmentAndFormatter) {
    ModuleOnDriveC module;
    ASSERT_TRUE(module.ok());
    RegisteredSource source(UniqueSourceName("KestrelForwarderTest"));
    ASSERT_TRUE(source.ok());
    source.Set("EventMessageFile", "%SystemRoot%\\x.dll");
    RealServices real;

    RegistryService::Key key = nullptr;
    EXPECT_NE(real.registry.OpenKey("SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\"
                                    "KestrelNoSuchSource",
                                    key),
              0);
    const std::string path = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\" + source.source();
    ASSERT_EQ(real.registry.OpenKey(path.c_str(), key), 0);
    char value[kRegistryBufferSize];
    std::uint32_t size = sizeof value;
    EXPECT_EQ(real.registry.QueryValue(key, "EventMessageFile", value, size), 0);
    EXPECT_EQ(std::string(value), "%SystemRoot%\\x.dll");
    EXPECT_EQ(size, 19u);
    size = sizeof value;
    EXPECT_NE(real.registry.QueryValue(key, "ParameterMessageFile", value, size), 0);
    real.registry.CloseKey(key);

    EXPECT_EQ(ExpandModulePath("x.dll", real.modules), "C:\\windows\\System32\\x.dll");

    // Wine refuses the large minimum size; the forwarder asks again with a smaller one.
    const std::string share = "\\\\localhost\\C$" + module.path().substr(2);
    auto* loaded = real.modules.LoadDataFile(share.c_str());
    ASSERT_NE(loaded, nullptr);
    char* refused = nullptr;
    EXPECT_EQ(FormatMessageA(0x3900, loaded, 3, LANG_USER_DEFAULT, reinterpret_cast<char*>(&refused),
                             kMessageMinSize, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    char* text = real.modules.Format(loaded, 3, kMessageMinSize, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "ログオン/ログオフ\r\n");
    EXPECT_TRUE(real.memory.Release(text));
    EXPECT_EQ(real.modules.Format(loaded, 9999, kParameterMessageMinSize, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    real.modules.Free(loaded);
}

}  // namespace
}  // namespace kestrel::testing
