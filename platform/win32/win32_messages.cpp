#include "platform/win32/win32_messages.h"

namespace kestrel {
namespace {

constexpr DWORD kFormatFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                               FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
static_assert(kFormatFlags == 0x3900);
static_assert((DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE) == 3);
static_assert(KEY_READ == 0x20019);

// Wine refuses a minimum size above this one; Windows takes larger ones.
constexpr DWORD kWineLargestMinSize = 32767;

}  // namespace

std::int32_t Win32Registry::OpenKey(const char* path, Key& key) {
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &opened);
    key = opened;
    return status;
}

std::int32_t Win32Registry::QueryValue(Key key, const char* name, void* buffer, std::uint32_t& size) {
    DWORD bytes = size;
    const LONG status =
        RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, nullptr, static_cast<BYTE*>(buffer), &bytes);
    size = bytes;
    return status;
}

void Win32Registry::CloseKey(Key key) { RegCloseKey(static_cast<HKEY>(key)); }

MessageModuleService::Module Win32MessageModules::LoadDataFile(const char* path) {
    return LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
}

void Win32MessageModules::Free(Module module) { FreeLibrary(static_cast<HMODULE>(module)); }

char* Win32MessageModules::Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                                  const char* const* arguments) {
    // With FORMAT_MESSAGE_ARGUMENT_ARRAY the list is read as a table of pointers.
    auto* table = reinterpret_cast<va_list*>(const_cast<char**>(arguments));
    char* text = nullptr;
    DWORD length = FormatMessageA(kFormatFlags, module, messageId, LANG_USER_DEFAULT,
                                  reinterpret_cast<char*>(&text), minSize, table);
    if (length == 0 && minSize > kWineLargestMinSize && GetLastError() == ERROR_INVALID_PARAMETER) {
        text = nullptr;
        length = FormatMessageA(kFormatFlags, module, messageId, LANG_USER_DEFAULT,
                                reinterpret_cast<char*>(&text), kWineLargestMinSize, table);
    }
    return length != 0 ? text : nullptr;
}

std::uint32_t Win32MessageModules::ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) {
    return ExpandEnvironmentStringsA(text, out, outSize);
}

}  // namespace kestrel
