#include "evtx/fault.h"

namespace kestrel::evtx {

const char* ReasonText(Reason reason) {
    switch (reason) {
        case Reason::None:
            return "no fault";
        case Reason::Truncated:
            return "truncated";
        case Reason::NotAnEventLog:
            return "not an event log";
        case Reason::ChunkUnreadable:
            return "chunk unreadable";
        case Reason::ChunkHeaderDamaged:
            return "chunk header damaged";
        case Reason::RecordDamaged:
            return "record damaged";
        case Reason::BadToken:
            return "bad binary XML token";
        case Reason::BadName:
            return "name outside its chunk";
        case Reason::BadTemplate:
            return "template damaged or circular";
        case Reason::TooDeep:
            return "nested too deep";
        case Reason::TooMuchWork:
            return "too much work for one record";
    }
    return "unknown";
}

}  // namespace kestrel::evtx
