#pragma once
// The message modules of one computer kept loaded while its log is read. The
// message step asks for a module event after event, and each load of one from
// another computer's administrative share costs a round trip over the
// network: kept, each is loaded once a computer. A load that failed is not
// tried again either; its error comes back as it was.
#include <map>
#include <string>

#include "platform/error_service.h"
#include "platform/message_module_service.h"

namespace kestrel {

class CachedMessageModules final : public MessageModuleService {
public:
    CachedMessageModules(MessageModuleService& modules, ErrorService& errors)
        : modules_(modules), errors_(errors) {}
    ~CachedMessageModules() override { Forget(); }
    CachedMessageModules(const CachedMessageModules&) = delete;
    CachedMessageModules& operator=(const CachedMessageModules&) = delete;

    Module LoadDataFile(const char* path) override;
    // Kept until Forget.
    void Free(Module) override {}
    char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                 const char* const* arguments) override {
        return modules_.Format(module, messageId, minSize, arguments);
    }
    std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) override {
        return modules_.ExpandEnvironment(text, out, outSize);
    }

    // Frees every module kept: the computer is done.
    void Forget();

private:
    struct Loaded {
        Module module;
        std::uint32_t error;  // of a load that failed
    };
    MessageModuleService& modules_;
    ErrorService& errors_;
    std::map<std::string, Loaded> loaded_;
};

}  // namespace kestrel
