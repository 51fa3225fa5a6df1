#include "framework/thread.h"

#include <process.h>

namespace kestrel {

CWinThread::~CWinThread() {
    if (m_hThread != nullptr) ::CloseHandle(m_hThread);
}

bool CWinThread::CreateThread(DWORD flags, UINT stackSize) {
    if (m_hThread != nullptr) return false;
    unsigned id = 0;
    // The C runtime's own start, so that its per-thread state is set up.
    const uintptr_t handle = ::_beginthreadex(nullptr, stackSize, ThreadEntry, this, flags & CREATE_SUSPENDED, &id);
    if (handle == 0) return false;
    m_hThread = reinterpret_cast<HANDLE>(handle);
    m_nThreadID = id;
    return true;
}

unsigned __stdcall CWinThread::ThreadEntry(void* object) {
    auto* thread = static_cast<CWinThread*>(object);
    int result;
    try {
        result = thread->InitInstance() ? thread->Run() : thread->ExitInstance();
    } catch (...) {
        result = -1;  // nothing may leave the thread
    }
    if (thread->m_bAutoDelete) delete thread;
    return static_cast<unsigned>(result);
}

}  // namespace kestrel
