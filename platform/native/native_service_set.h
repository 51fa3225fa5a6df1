#pragma once
// The native build's services, together. Linux has no event-log service:
// exported logs stand in for it, so the set has none.
#include "platform/native/native_messages.h"
#include "platform/native/native_services.h"

namespace kestrel {

struct NativeServiceSet {
    HeapMemory memory;
    NativeErrors errors;
    NativeSystemTime systemTime{errors};
    NativeFatalStop fatal;
    NoRegistry registry;
    NoMessageModules modules{errors};
};

}  // namespace kestrel
