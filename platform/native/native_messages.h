#pragma once
// Linux has no registry and no message modules: no event source is
// registered, so every event gets its fallback text and no report line.
#include "platform/error_service.h"
#include "platform/message_module_service.h"
#include "platform/registry_service.h"

namespace kestrel {

class NoRegistry final : public RegistryService {
public:
    std::int32_t OpenKey(const char* path, Key& key) override;
    std::int32_t QueryValue(Key key, const char* name, void* buffer, std::uint32_t& size) override;
    void CloseKey(Key key) override;
};

class NoMessageModules final : public MessageModuleService {
public:
    explicit NoMessageModules(ErrorService& errors) : errors_(errors) {}
    Module LoadDataFile(const char* path) override;
    void Free(Module module) override;
    char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                 const char* const* arguments) override;
    // The text as it is: there is no Windows environment to expand from.
    std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) override;

private:
    ErrorService& errors_;
};

}  // namespace kestrel
