#include "platform/native/native_messages.h"

#include <cstring>

#include "platform/win32_errors.h"

namespace kestrel {

std::int32_t NoRegistry::OpenKey(const char*, Key& key) {
    key = nullptr;
    return static_cast<std::int32_t>(kErrorFileNotFound);
}

std::int32_t NoRegistry::QueryValue(Key, const char*, void*, std::uint32_t&) {
    return static_cast<std::int32_t>(kErrorFileNotFound);
}

void NoRegistry::CloseKey(Key) {}

MessageModuleService::Module NoMessageModules::LoadDataFile(const char*) {
    errors_.SetLastError(kErrorModNotFound);
    return nullptr;
}

void NoMessageModules::Free(Module) {}

char* NoMessageModules::Format(Module, std::uint32_t, std::uint32_t, const char* const*) {
    errors_.SetLastError(kErrorMrMidNotFound);
    return nullptr;
}

std::uint32_t NoMessageModules::ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) {
    const std::size_t needed = std::strlen(text) + 1;
    if (needed <= outSize) std::memcpy(out, text, needed);
    return static_cast<std::uint32_t>(needed);
}

}  // namespace kestrel
