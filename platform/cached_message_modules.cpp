#include "platform/cached_message_modules.h"

namespace kestrel {

MessageModuleService::Module CachedMessageModules::LoadDataFile(const char* path) {
    auto [entry, added] = loaded_.try_emplace(path, Loaded{nullptr, 0});
    if (added) {
        entry->second.module = modules_.LoadDataFile(path);
        if (entry->second.module == nullptr) entry->second.error = errors_.LastError();
    } else if (entry->second.module == nullptr) {
        errors_.SetLastError(entry->second.error);
    }
    return entry->second.module;
}

void CachedMessageModules::Forget() {
    for (const auto& [path, loaded] : loaded_) {
        if (loaded.module != nullptr) modules_.Free(loaded.module);
    }
    loaded_.clear();
}

}  // namespace kestrel
