#pragma once
// The cursor the format's readers use: its faults carry the format's reasons.
#include "base/byte_cursor.h"
#include "evtx/fault.h"

namespace kestrel::evtx {

using ByteCursor = kestrel::ByteCursor<Fault>;

}  // namespace kestrel::evtx
