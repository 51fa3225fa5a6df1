#pragma once
// Threads with an object: the object is made on the starting thread, its
// InitInstance and Run run on the new one, and it deletes itself when Run
// returns (auto-delete).
#include <windows.h>

#include "framework/scoped_handles.h"
#include "framework/wnd.h"

namespace kestrel {

class CWinThread : public CCmdTarget {
public:
    CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    ~CWinThread() override;

    // The thread, not yet started when flags hold CREATE_SUSPENDED.
    bool CreateThread(DWORD flags = 0, UINT stackSize = 0);
    DWORD ResumeThread() { return ::ResumeThread(m_hThread.Get()); }
    bool SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread.Get(), priority) != FALSE; }

    // On the new thread: FALSE ends it through ExitInstance, else Run follows.
    virtual BOOL InitInstance() { return FALSE; }
    // The thread's work; its result is the thread's exit code.
    virtual int Run() { return ExitInstance(); }
    virtual int ExitInstance() { return 0; }

    ScopedHandle m_hThread;
    DWORD m_nThreadID = 0;
    bool m_bAutoDelete = true;

private:
    static unsigned __stdcall ThreadEntry(void* object);
};

// The framework's thread start: a T made here, its thread created suspended,
// given priority, and resumed unless flags ask for CREATE_SUSPENDED. Null when
// the thread cannot be created.
template <class T>
T* AfxBeginThread(int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0, DWORD flags = 0) {
    auto* thread = new T;
    if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if ((flags & CREATE_SUSPENDED) == 0) thread->ResumeThread();
    return thread;
}

}  // namespace kestrel
