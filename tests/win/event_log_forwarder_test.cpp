// The real event-log service under Wine: every computer fails to open.
#include <gtest/gtest.h>

#include <windows.h>

#include "engine/classification.h"
#include "engine/service_set.h"
#include "platform/win32/win32_service_set.h"

namespace kestrel {
namespace {

class NullTable final : public ResultTablePort {
public:
    int ItemCount() override { return 0; }
    void InsertItem(int, int) override {}
    void SetItemText(int, int, const char*) override {}
    void RedrawItems(int, int) override {}
    void DeleteAllItems() override {}
};

TEST(Win32EventLog, UnreachableComputerGivesOpenFailureWithSystemText) {
    Win32ServiceSet services;
    NullTable table;
    EventClassifier classifier(table);
    CollectJob job;
    job.FromLogStart = 1;
    job.ToLogEnd = 1;
    std::string report;
    LogReader reader(ServicesOf(services), job, report, classifier);

    EXPECT_EQ(reader.ReadLog("localhost", "security", 0x18), ReadFailed);

    const std::string systemText = services.errors.SystemText(1722);
    ASSERT_FALSE(systemText.empty());
    EXPECT_EQ(report, std::string("ｴﾗｰ 002:[\\\\localhost][security]:ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。\r\n") +
                          "原因 003:" + systemText);
    // Wine's own text, not the stand-in for a code without one.
    EXPECT_EQ(systemText.find("ｴﾗｰｺｰﾄﾞ"), std::string::npos);
}

TEST(Win32Memory, ZeroFilledBlockAndRelease) {
    Win32Memory memory;
    auto* block = static_cast<unsigned char*>(memory.AllocateZeroed(320000));
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < 320000; i += 4096) EXPECT_EQ(block[i], 0);
    EXPECT_TRUE(memory.Release(block));
}

TEST(Win32SystemTime, RejectsImpossibleDate) {
    Win32SystemTime systemTime;
    EXPECT_TRUE(systemTime.ToFileTime({2013, 6, 6, 1, 9, 5, 7, 0}));
    EXPECT_FALSE(systemTime.ToFileTime({2013, 13, 0, 1, 9, 5, 7, 0}));
}

}  // namespace
}  // namespace kestrel
