// Closing the real kestrel.exe at a random moment of a run, again and again:
// while a computer is being read, just as the next computer begins, and while
// the report dialog of the computer without a log is open. Each time the
// process must end within 10 s, cleanly, leaving no dialog on the screen.
// Usage: kestrel_close_stress [--runs=N] [--seed=S]  (N = 100 unless given)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win/app/app_support.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

int g_runs = 100;
unsigned g_seed = 0;

constexpr DWORD kEndWithinMs = 10000;
constexpr char kStartCaption[] = "ログオン情報収集の開始";
constexpr char kReportCaption[] = "結果";

enum class Moment { kRead, kNextComputer, kReportDialog, kCount };
const char* const kMomentNames[] = {"during a read", "as the next computer begins",
                                    "with the report dialog open"};

// The program's main window: class KestrelWnd, whatever its title.
HWND FindFrame(DWORD process) {
    for (HWND window : VisibleTopLevelWindows()) {
        if (ProcessOf(window) == process && ClassOf(window) == "KestrelWnd") return window;
    }
    return nullptr;
}

// Visible dialogs of any process but this one: a report, a message box or a
// crash report that outlived the program (a crash report belongs to the
// debugger's process, not the program's).
std::vector<std::string> DialogsOnScreen() {
    std::vector<std::string> dialogs;
    for (HWND window : VisibleTopLevelWindows()) {
        if (ProcessOf(window) != ::GetCurrentProcessId() && ClassOf(window) == "#32770")
            dialogs.push_back(WindowText(window));
    }
    return dialogs;
}

class CloseStress : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        siteFolder = TempPath("kestrel-close-stress-" + std::to_string(::GetCurrentProcessId()));
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(sample::MakeSite(std::time(nullptr), 3), siteFolder, error))
            << error;
        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", siteFolder.c_str());
    }
    static void TearDownTestSuite() {
        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(siteFolder, ignored);
    }

    static inline std::string siteFolder;
};

TEST_F(CloseStress, TheProgramEndsCleanlyWhenClosedAtAnyMomentOfARun) {
    std::mt19937 random(g_seed);
    int counts[static_cast<int>(Moment::kCount)] = {};
    int failures = 0;
    for (int run = 0; run < g_runs && failures < 3; ++run) {
        const auto moment = static_cast<Moment>(run % static_cast<int>(Moment::kCount));
        SCOPED_TRACE("run " + std::to_string(run + 1) + ", closed " + kMomentNames[static_cast<int>(moment)]);
        const std::vector<std::string> dialogsBefore = DialogsOnScreen();
        PROCESS_INFORMATION program = LaunchKestrel();
        ASSERT_NE(program.hProcess, nullptr);
        HWND frame = nullptr;
        for (DWORD waited = 0; frame == nullptr && waited < 30000; waited += 50) {
            ::Sleep(50);
            frame = FindFrame(program.dwProcessId);
        }
        if (frame == nullptr) {
            ADD_FAILURE() << "the program showed no window";
            ++failures;
            EndProcess(program);
            continue;
        }

        if (!ImportComputerList(frame, program.dwProcessId, siteFolder + "\\site.lst")) {
            ADD_FAILURE() << "the list was not imported";
            ++failures;
            EndProcess(program);
            continue;
        }
        ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
        HWND start = WaitForWindow(kStartCaption, program.dwProcessId);
        ASSERT_NE(start, nullptr);
        ::PostMessageA(start, WM_COMMAND, IDOK, 0);

        bool hit = false;
        switch (moment) {
            case Moment::kRead: {
                // Somewhere in the first computers' reads, before the report.
                const DWORD begun = ::GetTickCount();
                while (StatusBarText(frame).empty() && ::GetTickCount() - begun < 30000) ::Sleep(1);
                std::uniform_int_distribution<DWORD> delay(0, 30);
                ::Sleep(delay(random));
                hit = FindOtherThreadWindow(kReportCaption, program.dwProcessId) == nullptr &&
                      !StatusBarText(frame).empty();
                break;
            }
            case Moment::kNextComputer: {
                // The second or the third computer of the list, the moment its progress shows.
                std::uniform_int_distribution<int> which(2, 3);
                const std::string wanted = "/5";
                const std::string begins = std::to_string(which(random)) + wanted;
                const DWORD begun = ::GetTickCount();
                while (!hit && ::GetTickCount() - begun < 30000) {
                    const std::string text = StatusBarText(frame);
                    hit = text.size() > begins.size() &&
                          text.compare(text.size() - begins.size(), begins.size(), begins) == 0;
                }
                break;
            }
            case Moment::kReportDialog: {
                hit = WaitForWindow(kReportCaption, program.dwProcessId, "#32770", 30000) != nullptr;
                std::uniform_int_distribution<DWORD> delay(0, 200);
                ::Sleep(delay(random));
                break;
            }
            case Moment::kCount:
                break;
        }
        if (hit) ++counts[static_cast<int>(moment)];

        const DWORD closed = ::GetTickCount();
        ::PostMessageA(frame, WM_CLOSE, 0, 0);
        const bool ended = ::WaitForSingleObject(program.hProcess, kEndWithinMs) == WAIT_OBJECT_0;
        const DWORD ms = ::GetTickCount() - closed;
        DWORD exitCode = STILL_ACTIVE;
        ::GetExitCodeProcess(program.hProcess, &exitCode);
        // Only what this run left counts: another program's box may stand open.
        std::vector<std::string> dialogs = DialogsOnScreen();
        for (const std::string& before : dialogsBefore) {
            const auto same = std::find(dialogs.begin(), dialogs.end(), before);
            if (same != dialogs.end()) dialogs.erase(same);
        }
        EXPECT_TRUE(ended) << "still running " << kEndWithinMs << " ms after the close";
        EXPECT_EQ(exitCode, 0u) << "exit code 0x" << std::hex << exitCode;
        EXPECT_TRUE(dialogs.empty()) << "left on the screen: " << dialogs.front();
        if (!ended || exitCode != 0 || !dialogs.empty()) ++failures;
        EndProcess(program);
        std::printf("run %3d: closed %s%s, ended after %lu ms\n", run + 1,
                    kMomentNames[static_cast<int>(moment)], hit ? "" : " (missed the moment)",
                    static_cast<unsigned long>(ms));
        std::fflush(stdout);
    }
    std::printf(
        "%d runs, %d failed; moments hit: %d during a read, %d as the next computer began, %d with the "
        "report dialog open\n",
        g_runs, failures, counts[0], counts[1], counts[2]);
}

}  // namespace
}  // namespace kestrel::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    kestrel::testing::g_seed = static_cast<unsigned>(std::time(nullptr));
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--runs=", 0) == 0) kestrel::testing::g_runs = std::atoi(argument.c_str() + 7);
        if (argument.rfind("--seed=", 0) == 0)
            kestrel::testing::g_seed = static_cast<unsigned>(std::atoi(argument.c_str() + 7));
    }
    std::printf("seed %u\n", kestrel::testing::g_seed);
    return RUN_ALL_TESTS();
}
