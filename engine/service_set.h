#pragma once
// A set of the seven services a reader reads through, owned together: a
// platform's own (Win32ServiceSet, NativeServiceSet) or the tests' fakes.
#include "engine/log_reader.h"

namespace kestrel {

// The reader's view of a set: any struct with the members eventLog, memory,
// errors, systemTime, fatal, registry and modules.
template <typename Set>
ReaderServices ServicesOf(Set& set) {
    return {set.eventLog, set.memory, set.errors, set.systemTime, set.fatal, set.registry, set.modules};
}

}  // namespace kestrel
