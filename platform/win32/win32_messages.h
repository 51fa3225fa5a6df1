#pragma once
// Forwarders to the registry and the message-module functions. Each call goes
// straight to its API function; the last error stays where Windows put it.
#include <windows.h>

#include "platform/message_module_service.h"
#include "platform/registry_service.h"

namespace kestrel {

class Win32Registry final : public RegistryService {
public:
    std::int32_t OpenKey(const char* path, Key& key) override;
    std::int32_t QueryValue(Key key, const char* name, void* buffer, std::uint32_t& size) override;
    void CloseKey(Key key) override;
};

class Win32MessageModules final : public MessageModuleService {
public:
    Module LoadDataFile(const char* path) override;
    void Free(Module module) override;
    char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                 const char* const* arguments) override;
    std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) override;
};

}  // namespace kestrel
