#pragma once
// Every fake service together, ready to hand to a LogReader.
#include "engine/service_set.h"
#include "tests/fakes/fake_messages.h"
#include "tests/fakes/fake_services.h"

namespace kestrel::testing {

struct FakePlatform {
    FakeErrors errors;
    FakeMemory memory;
    FakeEventLog eventLog{errors};
    FakeSystemTime systemTime{errors};
    FakeFatalStop fatal;
    FakeRegistry registry;
    FakeMessageModules modules{memory, errors};

    ReaderServices Services() { return ServicesOf(*this); }
};

}  // namespace kestrel::testing
