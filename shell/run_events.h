#pragma once
// What a run keeps of the events it handed on: its worker adds to it while
// the windows read it (the details of a row, the sessions, the summary). Each
// run has its own, shared by the run and the frame, so that neither can free
// it while the other still reaches it.
#include <mutex>

#include "engine/event_store.h"

namespace kestrel {

struct RunEvents {
    std::mutex lock;  // every use of events holds it
    EventStore events;
};

}  // namespace kestrel
