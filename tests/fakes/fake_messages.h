#pragma once
// Stand-ins for the local registry and the message modules. Unless a test
// says otherwise no source is registered and no module loads.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/message_module_service.h"
#include "platform/registry_service.h"
#include "tests/fakes/fake_services.h"

namespace kestrel::testing {

class FakeRegistry final : public RegistryService {
public:
    struct Key {
        std::int32_t openStatus = 0;                // nonzero: opening fails with it
        std::map<std::string, std::string> values;  // the bytes as stored
    };
    std::map<std::string, Key> keys;  // by path below HKEY_LOCAL_MACHINE

    // A value stored with its terminator, as a registry text is.
    void SetText(const std::string& path, const std::string& name, const std::string& text) {
        keys[path].values[name] = text + '\0';
    }

    std::int32_t OpenKey(const char* path, RegistryService::Key& key) override;
    std::int32_t QueryValue(RegistryService::Key key, const char* name, void* buffer,
                            std::uint32_t& size) override;
    void CloseKey(RegistryService::Key key) override;

    std::vector<std::string> calls;  // "open <path>", "query <name> <size>", "close <path>"
    int openKeys = 0;
};

class FakeMessageModules final : public MessageModuleService {
public:
    FakeMessageModules(FakeMemory& memory, FakeErrors& errors) : memory_(memory), errors_(errors) {}

    struct File {
        std::map<std::uint32_t, std::string> messages;  // %1 ... %99 take arguments
        std::string path;                               // set when loaded
    };
    std::map<std::string, File> files;  // by the path a load must ask for
    std::uint32_t loadError = 126;      // last error of a load that fails
    std::uint32_t formatError = 317;    // last error of a message not in the file
    // %NAME% expands from here; other text stays as it is.
    std::map<std::string, std::string> environment{{"SYSTEMROOT", "C:\\WINDOWS"}};
    bool expandFails = false;

    Module LoadDataFile(const char* path) override;
    void Free(Module module) override;
    char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                 const char* const* arguments) override;
    std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) override;

    // "load <path>", "free <path>", "format <path> <id> <minSize>"
    std::vector<std::string> calls;
    int loaded = 0;
    int nullArguments = 0;  // arguments a message named that were null

private:
    FakeMemory& memory_;
    FakeErrors& errors_;
};

}  // namespace kestrel::testing
