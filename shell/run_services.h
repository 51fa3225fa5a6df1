#pragma once
// The program's own services, as a run reads through them: the event-log
// service (or the exported logs of a folder), memory, errors, the local
// registry and the message modules. The details of a row use the same to
// work out a message again.
#include <filesystem>
#include <optional>

#include "engine/log_reader.h"
#include "platform/offline/event_log_choice.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_services.h"

namespace kestrel {

struct Win32RunServices {
    explicit Win32RunServices(const std::optional<std::filesystem::path>& offlineFolder);

    Win32EventLog live;
    Win32Errors errors;
    EventLogChoice eventLog;  // exported logs instead, when the run was given a folder
    Win32Memory memory;
    Win32SystemTime systemTime;
    Win32FatalStop fatal;
    Win32Registry registry;
    Win32MessageModules modules;

    ReaderServices Services() {
        return {*eventLog.Service(), memory, errors, systemTime, fatal, registry, modules};
    }
};

// The part of a run's services that message texts are made with.
inline MessageServices MessageServicesOf(const ReaderServices& services) {
    return {services.registry, services.modules, services.memory, services.errors, services.fatal};
}

}  // namespace kestrel
