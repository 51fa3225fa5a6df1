#pragma once
// What the Windows-side message tests and the timing program share: the real
// services, the test module copied to drive C: (so that \\localhost\C$ reaches
// it), and an event source registered under the security log for the life of
// the object.
#include <windows.h>

#include <string>

#include "engine/message_text.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_services.h"

namespace kestrel::testing {

struct RealServices {
    Win32Registry registry;
    Win32MessageModules modules;
    Win32Memory memory;
    Win32Errors errors;
    Win32FatalStop fatal;

    MessageServices Services() { return {registry, modules, memory, errors, fatal}; }
};

// The message module made by the build, copied into its own folder on C:.
class ModuleOnDriveC {
public:
    ModuleOnDriveC();
    ~ModuleOnDriveC();
    ModuleOnDriveC(const ModuleOnDriveC&) = delete;
    ModuleOnDriveC& operator=(const ModuleOnDriveC&) = delete;

    bool ok() const { return ok_; }
    const std::string& folder() const { return folder_; }  // "C:\kestrel_messages_<pid>"
    std::string path() const { return folder_ + "\\kestrel_test_messages.dll"; }

private:
    std::string folder_;
    bool ok_ = false;
};

// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\security\<source>, removed
// again at the end (the log's own key too when this made it).
class RegisteredSource {
public:
    explicit RegisteredSource(const std::string& source);
    ~RegisteredSource();
    RegisteredSource(const RegisteredSource&) = delete;
    RegisteredSource& operator=(const RegisteredSource&) = delete;

    bool ok() const { return key_ != nullptr; }
    void Set(const char* name, const std::string& value);
    const std::string& source() const { return source_; }

private:
    std::string source_;
    HKEY key_ = nullptr;
    bool madeLogKey_ = false;
};

// A source name of this process, so that parallel runs do not meet.
std::string UniqueSourceName(const char* stem);

}  // namespace kestrel::testing
