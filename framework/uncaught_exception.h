#pragma once
// Exceptions that reach a window procedure or a thread's entry. They stop
// there, since nothing may unwind through the system's code, but never
// silently: each is written to the debugger's output and handed to a hook.
#include <exception>

namespace kestrel {

// Gets one line: where the exception was caught and its text.
using UncaughtExceptionHook = void (*)(const char* text);

// null removes the hook; answers the one it replaces. Any thread may call it.
UncaughtExceptionHook SetUncaughtExceptionHook(UncaughtExceptionHook hook);

// Reports exception, caught at where ("the window procedure", say): its
// what() for a std::exception, "unknown exception" otherwise.
void ReportUncaughtException(const char* where, std::exception_ptr exception) noexcept;

}  // namespace kestrel
