#include "framework/thread.h"

#include <process.h>

#include <exception>

#include "framework/uncaught_exception.h"

namespace kestrel {

CWinThread::~CWinThread() = default;

bool CWinThread::CreateThread(DWORD flags, UINT stackSize) {
    if (m_hThread) return false;
    unsigned id = 0;
    // The C runtime's own start, so that its per-thread state is set up.
    const uintptr_t handle =
        ::_beginthreadex(nullptr, stackSize, ThreadEntry, this, flags & CREATE_SUSPENDED, &id);
    if (handle == 0) return false;
    m_hThread.Reset(reinterpret_cast<HANDLE>(handle));
    m_nThreadID = id;
    return true;
}

unsigned __stdcall CWinThread::ThreadEntry(void* object) {
    auto* thread = static_cast<CWinThread*>(object);
    int result;
    try {
        result = thread->InitInstance() ? thread->Run() : thread->ExitInstance();
    } catch (...) {
        // Nothing may leave the thread: reported, and the thread ends with -1.
        ReportUncaughtException("a thread's entry", std::current_exception());
        result = -1;
    }
    if (thread->m_bAutoDelete) delete thread;
    return static_cast<unsigned>(result);
}

}  // namespace kestrel
