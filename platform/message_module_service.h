#pragma once
// Message modules: LoadLibraryExA as a data file, FreeLibrary, FormatMessageA
// from a module's message table (or else the system's), and
// ExpandEnvironmentStringsA. Failures leave their reason in the last error.
#include <cstdint>

namespace kestrel {

class MessageModuleService {
public:
    using Module = void*;

    virtual ~MessageModuleService() = default;

    // LoadLibraryExA(path, NULL, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
    // null on failure.
    virtual Module LoadDataFile(const char* path) = 0;

    virtual void Free(Module module) = 0;

    // FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER, _FROM_HMODULE, _FROM_SYSTEM
    // and _ARGUMENT_ARRAY, language LANG_USER_DEFAULT: a block of at least minSize
    // bytes that the caller gives back with MemoryService::Release, or null.
    // arguments stands for %1, %2, ...; no entry a message refers to may be null.
    virtual char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                         const char* const* arguments) = 0;

    // ExpandEnvironmentStringsA: the size the expanded text needs, terminator
    // included (more than outSize when it did not fit), or 0 on failure.
    virtual std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) = 0;
};

}  // namespace kestrel
