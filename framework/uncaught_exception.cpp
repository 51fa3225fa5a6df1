#include "framework/uncaught_exception.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kestrel {
namespace {

std::atomic<UncaughtExceptionHook> g_hook{nullptr};

void Report(const char* where, const char* what) noexcept {
    // Fixed buffers: the report must not fail for want of memory.
    char text[512];
    std::snprintf(text, sizeof text, "kestrel: uncaught exception in %s: %s", where != nullptr ? where : "?",
                  what != nullptr ? what : "");
    char line[sizeof text + 1];
    const std::size_t length = std::strlen(text);
    std::memcpy(line, text, length);
    line[length] = '\n';
    line[length + 1] = '\0';
    ::OutputDebugStringA(line);
    if (UncaughtExceptionHook hook = g_hook.load()) hook(text);
}

}  // namespace

UncaughtExceptionHook SetUncaughtExceptionHook(UncaughtExceptionHook hook) { return g_hook.exchange(hook); }

void ReportUncaughtException(const char* where, std::exception_ptr exception) noexcept {
    if (!exception) {
        Report(where, "unknown exception");
        return;
    }
    // Thrown again only to learn its type; reported while it is still in flight.
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& caught) {
        Report(where, caught.what());
    } catch (...) {
        Report(where, "unknown exception");
    }
}

}  // namespace kestrel
