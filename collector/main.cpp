// kestrel-collect: logons, failed logons and logoffs of a list of computers as CSV.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "collector/collect_main.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "platform/win32/win32_service_set.h"
#else
#include <unistd.h>

#include "platform/native/native_service_set.h"
#endif

int main(int argc, char** argv) {
    using namespace kestrel;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const char* logDir = std::getenv("KESTREL_LOG_DIR");
#ifdef _WIN32
    // The CSV's CR LF as written, not doubled by text mode.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    Win32ServiceSet services;
    EventLogService* liveEventLog = &services.eventLog;
#else
    NativeServiceSet services;
    EventLogService* liveEventLog = nullptr;  // Linux has no event-log service
#endif
    CollectEnvironment environment{std::time(nullptr), logDir != nullptr ? logDir : "",
                                   liveEventLog,       services.memory,
                                   services.errors,    services.systemTime,
                                   services.fatal,     services.registry,
                                   services.modules};
#ifdef _WIN32
    environment.errIsTerminal = _isatty(_fileno(stderr)) != 0;
#else
    environment.errIsTerminal = isatty(fileno(stderr)) != 0;
#endif
    const int code = RunCollector(arguments, environment, std::cout, std::cerr);
    // A call to a computer that never answered may still run on a thread of
    // its own: the program ends without waiting for it, or tearing down what
    // it may still touch.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}
