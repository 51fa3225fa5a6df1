// Dialog 135 run modally for real; a script drives it from inside its modal
// loop and message boxes are answered by a hook.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/app_settings.h"
#include "resources/resource.h"
#include "shell/start_dlg.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

constexpr char kEndBeforeStart[] = "終了日が開始日より前の日付に設定されています。";
constexpr char kEndAfterToday[] = "終了日が本日より後の日付に設定されています。";

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

bool Same(const CollectJob& a, const CollectJob& b) {
    return a.Filter_Securityng == b.Filter_Securityng && a.Filter_Securityok == b.Filter_Securityok &&
           a.ToLogEnd == b.ToLogEnd && a.FromLogStart == b.FromLogStart &&
           a.Filter_Warning == b.Filter_Warning && a.Filter_Error == b.Filter_Error &&
           a.Filter_Information == b.Filter_Information && a.Filter_Security == b.Filter_Security &&
           a.Filter_Application == b.Filter_Application && a.Filter_System == b.Filter_System &&
           a.ToTime == b.ToTime && a.FromTime == b.FromTime;
}

SYSTEMTIME PickerTime(HWND dialog, int id) {
    SYSTEMTIME time{};
    ::SendMessageA(::GetDlgItem(dialog, id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
    return time;
}

void SetPicker(HWND dialog, int id, int year, int month, int day, int hour = 12) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    ::SendMessageA(::GetDlgItem(dialog, id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
}

std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

bool Checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }
void Press(HWND dialog, int id) {
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

class StartDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::time_t now = std::time(nullptr);
        SetStartValues(settings, now, now);
    }
    AppSettings settings;
};

TEST_F(StartDlgTest, ControlsOfTheTemplate) {
    struct Control {
        int id;  // -1: a group box, found by its place
        const char* className;
        const char* text;
        RECT units;  // x, y, w, h
        bool visible;
    };
    const Control controls[] = {
        {-1, "Button", "開始日", {5, 10, 75, 45}, true},
        {IDC_FROM_LOG_START, "Button", "ﾛｸﾞの始めから", {10, 20, 58, 10}, true},
        {IDC_FROM_DATE, "SysDateTimePick32", "", {10, 35, 65, 16}, true},
        {-1, "Button", "終了日", {85, 10, 75, 45}, true},
        {IDC_TO_LOG_END, "Button", "ﾛｸﾞの最後まで", {90, 20, 58, 10}, true},
        {IDC_TO_DATE, "SysDateTimePick32", "", {90, 35, 55, 16}, true},
        {IDOK, "Button", "開始", {165, 15, 48, 16}, true},
        {IDCANCEL, "Button", "キャンセル", {165, 35, 48, 16}, true},
        {IDC_LOG_SYSTEM, "Button", "ｼｽﾃﾑ", {8, 72, 33, 10}, false},
        {IDC_LOG_SECURITY, "Button", "ｾｷｭﾘﾃｨ", {48, 72, 39, 10}, false},
        {IDC_LOG_APPLICATION, "Button", "ｱﾌﾟﾘｹｰｼｮﾝ", {92, 72, 49, 10}, false},
        {IDC_TYPE_INFORMATION, "Button", "情報", {8, 96, 30, 10}, false},
        {IDC_TYPE_ERROR, "Button", "ｴﾗｰ", {48, 96, 29, 10}, false},
        {IDC_TYPE_WARNING, "Button", "警告", {84, 96, 30, 10}, false},
        {IDC_TYPE_AUDIT_SUCCESS, "Button", "成功の監査", {8, 116, 50, 10}, false},
        {IDC_TYPE_AUDIT_FAILURE, "Button", "失敗の監査", {64, 116, 50, 10}, false},
        {-1, "Button", "", {4, 60, 156, 25}, false},
        {-1, "Button", "", {4, 88, 156, 44}, false},
    };

    CStartDlg dialog(settings);
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        EXPECT_EQ(WindowText(window), "ログオン情報収集の開始");
        RECT size{0, 0, 219, 140}, client{};
        ::MapDialogRect(window, &size);
        ::GetClientRect(window, &client);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        LOGFONTA font{};
        ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, "ＭＳ Ｐゴシック");

        int children = 0;
        for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            ++children;
        }
        EXPECT_EQ(children, static_cast<int>(std::size(controls)));

        for (const Control& c : controls) {
            // The dialog manager maps the place and the size each on its own.
            RECT place = c.units;
            ::MapDialogRect(window, &place);
            place.right += place.left;
            place.bottom += place.top;
            HWND control = c.id != -1 ? ::GetDlgItem(window, c.id) : nullptr;
            for (HWND child = ::GetWindow(window, GW_CHILD); c.id == -1 && child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                RECT seen{};
                ::GetWindowRect(child, &seen);
                ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&seen), 2);
                if (std::memcmp(&seen, &place, sizeof seen) == 0 &&
                    (::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) {
                    control = child;
                }
            }
            ASSERT_NE(control, nullptr) << c.text << " " << c.id;
            char className[32] = {};
            ::GetClassNameA(control, className, sizeof className);
            EXPECT_STREQ(className, c.className) << c.id;
            if (c.id != IDC_FROM_DATE && c.id != IDC_TO_DATE) {
                EXPECT_EQ(WindowText(control), c.text) << c.id;
            }
            RECT seen{};
            ::GetWindowRect(control, &seen);
            ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&seen), 2);
            EXPECT_EQ(Show(seen), Show(place)) << c.text << " " << c.id;
            EXPECT_EQ((::GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0, c.visible)
                << c.text << " " << c.id;
        }

        const LONG button = ::GetWindowLongA(::GetDlgItem(window, IDOK), GWL_STYLE) & BS_TYPEMASK;
        EXPECT_EQ(button, BS_DEFPUSHBUTTON);
        EXPECT_EQ(::GetWindowLongA(::GetDlgItem(window, IDC_TO_LOG_END), GWL_STYLE) & BS_TYPEMASK,
                  BS_AUTOCHECKBOX);
        const LONG picker = ::GetWindowLongA(::GetDlgItem(window, IDC_TO_DATE), GWL_STYLE);
        EXPECT_TRUE(picker & DTS_RIGHTALIGN);
        EXPECT_EQ(picker & (DTS_LONGDATEFORMAT | DTS_TIMEFORMAT), 0);
        Press(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(StartDlgTest, OpensWithTheStartValuesAndTheBoxesSwitchThePickers) {
    const CollectJob before = settings;
    SYSTEMTIME from{}, to{};
    CStartDlg dialog(settings);
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        EXPECT_FALSE(Checked(window, IDC_FROM_LOG_START));
        EXPECT_TRUE(Enabled(window, IDC_FROM_DATE));
        EXPECT_TRUE(Checked(window, IDC_TO_LOG_END));
        EXPECT_FALSE(Enabled(window, IDC_TO_DATE));
        EXPECT_TRUE(Checked(window, IDC_LOG_SECURITY));
        EXPECT_TRUE(Checked(window, IDC_TYPE_AUDIT_SUCCESS));
        EXPECT_TRUE(Checked(window, IDC_TYPE_AUDIT_FAILURE));
        for (int id :
             {IDC_LOG_SYSTEM, IDC_LOG_APPLICATION, IDC_TYPE_INFORMATION, IDC_TYPE_WARNING, IDC_TYPE_ERROR}) {
            EXPECT_FALSE(Checked(window, id)) << id;
        }
        from = PickerTime(window, IDC_FROM_DATE);
        to = PickerTime(window, IDC_TO_DATE);

        Click(window, IDC_FROM_LOG_START);
        EXPECT_TRUE(Checked(window, IDC_FROM_LOG_START));
        EXPECT_FALSE(Enabled(window, IDC_FROM_DATE));
        Click(window, IDC_TO_LOG_END);
        EXPECT_FALSE(Checked(window, IDC_TO_LOG_END));
        EXPECT_TRUE(Enabled(window, IDC_TO_DATE));
        Click(window, IDC_FROM_LOG_START);
        EXPECT_TRUE(Enabled(window, IDC_FROM_DATE));
        Press(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(Same(settings, before));  // Cancel writes nothing

    // The pickers show the values with their time of day.
    std::tm local{};
    localtime_s(&local, &before.FromTime);
    EXPECT_EQ(from.wYear, local.tm_year + 1900);
    EXPECT_EQ(from.wMonth, local.tm_mon + 1);
    EXPECT_EQ(from.wDay, local.tm_mday);
    EXPECT_EQ(from.wHour, local.tm_hour);
    EXPECT_EQ(from.wMinute, local.tm_min);
    EXPECT_EQ(from.wSecond, local.tm_sec);
    localtime_s(&local, &before.ToTime);
    EXPECT_EQ(to.wDay, local.tm_mday);
    EXPECT_EQ(to.wHour, local.tm_hour);
}

TEST_F(StartDlgTest, EachBoxComesFromItsOwnField) {
    settings.Filter_System = 1;
    settings.Filter_Application = 0;
    settings.Filter_Security = 0;
    settings.Filter_Information = 1;
    settings.Filter_Warning = 0;
    settings.Filter_Error = 1;
    settings.Filter_Securityok = 0;
    settings.Filter_Securityng = 1;
    settings.FromLogStart = 1;
    settings.ToLogEnd = 0;
    CStartDlg dialog(settings);
    RunModal(dialog, [&](HWND window) {
        EXPECT_TRUE(Checked(window, IDC_LOG_SYSTEM));
        EXPECT_FALSE(Checked(window, IDC_LOG_APPLICATION));
        EXPECT_FALSE(Checked(window, IDC_LOG_SECURITY));
        EXPECT_TRUE(Checked(window, IDC_TYPE_INFORMATION));
        EXPECT_FALSE(Checked(window, IDC_TYPE_WARNING));
        EXPECT_TRUE(Checked(window, IDC_TYPE_ERROR));
        EXPECT_FALSE(Checked(window, IDC_TYPE_AUDIT_SUCCESS));
        EXPECT_TRUE(Checked(window, IDC_TYPE_AUDIT_FAILURE));
        EXPECT_TRUE(Checked(window, IDC_FROM_LOG_START));
        EXPECT_FALSE(Enabled(window, IDC_FROM_DATE));
        EXPECT_FALSE(Checked(window, IDC_TO_LOG_END));
        EXPECT_TRUE(Enabled(window, IDC_TO_DATE));
        Press(window, IDCANCEL);
    });
}

TEST_F(StartDlgTest, EndBeforeStartIsRefusedWhileNeitherBoxIsChecked) {
    settings.ToLogEnd = 0;
    const CollectJob before = settings;
    DialogAnswerer answerer;
    CStartDlg dialog(settings);
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        SetPicker(window, IDC_FROM_DATE, 2024, 3, 10);
        SetPicker(window, IDC_TO_DATE, 2024, 3, 9);
        Press(window, IDOK);
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].text, kEndBeforeStart);
        EXPECT_EQ(answerer.boxes[0].caption, "注意");
        EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
        EXPECT_EQ(answerer.boxes[0].owner, window);
        // Still open, with the entries in place.
        EXPECT_TRUE(::IsWindowVisible(window));
        EXPECT_EQ(PickerTime(window, IDC_FROM_DATE).wDay, 10);
        EXPECT_EQ(PickerTime(window, IDC_TO_DATE).wDay, 9);
        EXPECT_TRUE(Same(settings, before));

        // With "ﾛｸﾞの始めから" the order no longer matters.
        Click(window, IDC_FROM_LOG_START);
        Press(window, IDOK);
        EXPECT_EQ(answerer.boxes.size(), 1u);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(settings.FromLogStart, 1);
    EXPECT_EQ(settings.FromTime, LocalTime(2024, 3, 10, 0, 0, 0));
    EXPECT_EQ(settings.ToTime, LocalTime(2024, 3, 9, 0, 0, 0));
}

TEST_F(StartDlgTest, EndAfterTodayIsRefusedUnlessToTheEndOfTheLog) {
    DialogAnswerer answerer;
    const std::time_t tomorrow = std::time(nullptr) + 86400;
    std::tm local{};
    localtime_s(&local, &tomorrow);
    CStartDlg dialog(settings);
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
        Click(window, IDC_TO_LOG_END);  // unchecked
        // The start after the end too: with the start box checked only the
        // second test applies.
        Click(window, IDC_FROM_LOG_START);
        SetPicker(window, IDC_FROM_DATE, local.tm_year + 1900 + 1, 1, 1);
        SetPicker(window, IDC_TO_DATE, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour);
        Press(window, IDOK);
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].text, kEndAfterToday);
        EXPECT_EQ(answerer.boxes[0].caption, "注意");
        EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
        EXPECT_TRUE(::IsWindowVisible(window));

        Click(window, IDC_TO_LOG_END);  // checked: the same dates pass
        Press(window, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(settings.ToLogEnd, 1);
    EXPECT_EQ(settings.ToTime, LocalTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0));
}

TEST_F(StartDlgTest, SameDayPassesAndStartFixesLogsTypesAndMidnight) {
    const std::time_t now = std::time(nullptr);
    settings.FromTime = LocalMidnight(now);
    settings.ToTime = now;
    settings.ToLogEnd = 0;
    settings.Filter_System = 1;
    settings.Filter_Application = 1;
    settings.Filter_Security = 0;
    settings.Filter_Information = 1;
    settings.Filter_Warning = 1;
    settings.Filter_Error = 1;
    settings.Filter_Securityok = 1;
    settings.Filter_Securityng = 0;
    DialogAnswerer answerer;
    CStartDlg dialog(settings);
    const INT_PTR result = RunModal(dialog, [&](HWND window) { Press(window, IDOK); });

    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_EQ(settings.Filter_Security, 1);
    EXPECT_EQ(settings.Filter_System + settings.Filter_Application + settings.Filter_Information +
                  settings.Filter_Warning + settings.Filter_Error,
              0);
    EXPECT_EQ(settings.Filter_Securityok, 1);  // the hidden audit boxes keep their values
    EXPECT_EQ(settings.Filter_Securityng, 0);
    EXPECT_EQ(settings.FromLogStart, 0);
    EXPECT_EQ(settings.ToLogEnd, 0);
    EXPECT_EQ(settings.FromTime, LocalMidnight(now));
    EXPECT_EQ(settings.ToTime, LocalMidnight(now));
    std::tm local{};
    localtime_s(&local, &settings.ToTime);
    EXPECT_EQ(local.tm_hour + local.tm_min + local.tm_sec, 0);
}

TEST_F(StartDlgTest, StartTruncatesBothDatesToLocalMidnight) {
    settings.FromTime = LocalTime(2023, 3, 10, 15, 42, 17);
    settings.ToTime = LocalTime(2023, 3, 12, 8, 1, 2);
    CStartDlg dialog(settings);
    EXPECT_EQ(RunModal(dialog, [&](HWND window) { Press(window, IDOK); }), IDOK);
    EXPECT_EQ(settings.FromTime, LocalTime(2023, 3, 10, 0, 0, 0));
    EXPECT_EQ(settings.ToTime, LocalTime(2023, 3, 12, 0, 0, 0));

    // A second opening shows midnight.
    CStartDlg again(settings);
    RunModal(again, [&](HWND window) {
        const SYSTEMTIME from = PickerTime(window, IDC_FROM_DATE);
        EXPECT_EQ(from.wDay, 10);
        EXPECT_EQ(from.wHour + from.wMinute + from.wSecond, 0);
        Press(window, IDCANCEL);
    });
}

TEST_F(StartDlgTest, AValueThatIsNoDateLeavesItsFieldAlone) {
    settings.FromLogStart = 1;
    settings.FromTime = 40000000000;  // past what local time can hold here
    CStartDlg dialog(settings);
    EXPECT_EQ(RunModal(dialog, [&](HWND window) { Press(window, IDOK); }), IDOK);
    EXPECT_EQ(settings.FromTime, 40000000000);
    EXPECT_EQ(settings.ToTime, LocalMidnight(settings.ToTime));
}

}  // namespace
}  // namespace kestrel::testing
