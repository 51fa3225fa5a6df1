#pragma once
// Why a stretch of a log was passed over, as the run report says it.
#include "evtx/fault.h"

namespace kestrel {

// A CP932 text such as "ﾚｺｰﾄﾞが壊れています".
const char* DamageReasonText(evtx::Reason reason);

}  // namespace kestrel
