#pragma once
// Memory blocks: LocalAlloc with LMEM_ZEROINIT, and LocalFree.
#include <cstddef>

namespace kestrel {

class MemoryService {
public:
    virtual ~MemoryService() = default;
    // A zero-filled block, or null when memory is short.
    virtual void* AllocateZeroed(std::size_t bytes) = 0;
    // False when the block could not be released.
    virtual bool Release(void* block) = 0;
};

}  // namespace kestrel
