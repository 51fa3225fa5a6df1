#pragma once
// The Win32 forwarders of every service, together: what a program or a test
// under Wine reads the system's logs through (engine/service_set.h hands it
// to a reader).
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_services.h"

namespace kestrel {

struct Win32ServiceSet {
    Win32EventLog eventLog;
    Win32Memory memory;
    Win32Errors errors;
    Win32SystemTime systemTime;
    Win32FatalStop fatal;
    Win32Registry registry;
    Win32MessageModules modules;
};

}  // namespace kestrel
