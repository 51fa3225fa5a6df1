// The framework's handle owners and its report of exceptions that reach a
// window procedure or a thread's entry.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/scoped_handles.h"
#include "framework/thread.h"
#include "framework/uncaught_exception.h"
#include "framework/wnd.h"

namespace kestrel::testing {
namespace {

constexpr char kEventName[] = "Kestrel.ScopedHandleTest";

// A named event exists while any handle to it is open.
bool EventExists() {
    HANDLE probe = ::OpenEventA(SYNCHRONIZE, FALSE, kEventName);
    if (probe == nullptr) return false;
    ::CloseHandle(probe);
    return true;
}

HANDLE NewEvent() { return ::CreateEventA(nullptr, TRUE, FALSE, kEventName); }

TEST(ScopedHandle, ClosesOnceWhateverWayItGoes) {
    {
        const ScopedHandle owner(NewEvent());
        ASSERT_TRUE(EventExists());
    }
    EXPECT_FALSE(EventExists());

    // Moved: only the new owner closes it.
    ScopedHandle first(NewEvent());
    ScopedHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(first == nullptr);
    first.Reset();
    EXPECT_TRUE(EventExists());
    second = ScopedHandle();
    EXPECT_FALSE(EventExists());

    // Released: the caller closes it.
    ScopedHandle released(NewEvent());
    HANDLE raw = released.Release();
    released.Reset();
    EXPECT_TRUE(EventExists());
    ::CloseHandle(raw);
    EXPECT_FALSE(EventExists());
}

TEST(ScopedHandle, FailureValuesHoldNothingAndCloseReportsRefusal) {
    EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(ScopedHandle(nullptr));
    EXPECT_TRUE(ScopedHandle().Close());

    // A value no handle of the test process has.
    ScopedHandle bogus(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7ff0)));
    ::SetLastError(0);
    EXPECT_FALSE(bogus.Close());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(bogus);
}

std::vector<std::string> g_reports;
void Record(const char* text) { g_reports.emplace_back(text); }

class Thrower final : public CWnd {
protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE && throwOnCreate) throw std::runtime_error("no window");
        if (message == WM_USER) throw std::runtime_error("boom");
        if (message == WM_USER + 1) throw 42;
        return CWnd::WindowProc(message, wParam, lParam);
    }

public:
    bool throwOnCreate = false;
};

class ThrowingThread final : public CWinThread {
public:
    BOOL InitInstance() override { throw std::logic_error("thread broke"); }
};

class UncaughtException : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        previous_ = SetUncaughtExceptionHook(Record);
    }
    void TearDown() override { SetUncaughtExceptionHook(previous_); }

private:
    UncaughtExceptionHook previous_ = nullptr;
};

TEST_F(UncaughtException, WindowProcedureReportsAndGoesOn) {
    Thrower window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "thrower", WS_OVERLAPPEDWINDOW, {0, 0, 50, 50}, nullptr, 0));
    EXPECT_EQ(window.Send(WM_USER), 0);
    EXPECT_EQ(window.Send(WM_USER + 1), 0);
    ASSERT_EQ(g_reports.size(), 2u);
    EXPECT_NE(g_reports[0].find("window procedure (message 0x0400)"), std::string::npos) << g_reports[0];
    EXPECT_NE(g_reports[0].find("boom"), std::string::npos) << g_reports[0];
    EXPECT_NE(g_reports[1].find("unknown exception"), std::string::npos) << g_reports[1];
    EXPECT_TRUE(::IsWindow(window));

    // Thrown while being created: the window fails.
    Thrower failing;
    failing.throwOnCreate = true;
    EXPECT_FALSE(failing.CreateEx(0, nullptr, "failing", WS_OVERLAPPEDWINDOW, {0, 0, 50, 50}, nullptr, 0));
    ASSERT_EQ(g_reports.size(), 3u);
    EXPECT_NE(g_reports[2].find("no window"), std::string::npos) << g_reports[2];
}

TEST_F(UncaughtException, ThreadEntryReportsAndEndsWithMinusOne) {
    auto* thread = AfxBeginThread<ThrowingThread>(THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = false;
    thread->ResumeThread();
    ASSERT_EQ(::WaitForSingleObject(thread->m_hThread.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeThread(thread->m_hThread.Get(), &code);
    delete thread;
    EXPECT_EQ(code, static_cast<DWORD>(-1));
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_NE(g_reports[0].find("thread's entry: thread broke"), std::string::npos) << g_reports[0];
}

}  // namespace
}  // namespace kestrel::testing
