#pragma once
// The registry of the computer that runs the program: RegOpenKeyExA under
// HKEY_LOCAL_MACHINE with KEY_READ, RegQueryValueExA and RegCloseKey.
#include <cstdint>

namespace kestrel {

class RegistryService {
public:
    using Key = void*;

    virtual ~RegistryService() = default;

    // 0 and the open key, or the nonzero status of the call.
    virtual std::int32_t OpenKey(const char* path, Key& key) = 0;

    // size: the buffer's size on entry, the bytes of data on return. 0 with the
    // data, or the nonzero status (ERROR_MORE_DATA when the buffer is too small).
    // The value's type is not asked for.
    virtual std::int32_t QueryValue(Key key, const char* name, void* buffer, std::uint32_t& size) = 0;

    virtual void CloseKey(Key key) = 0;
};

}  // namespace kestrel
