#pragma once
// The fatal stop: a message box owned by the main window, then the process
// ends with exit code 1. Only a test's stand-in ever returns.

namespace kestrel {

class FatalStop {
public:
    virtual ~FatalStop() = default;
    virtual void Stop(const char* text, const char* caption) = 0;
};

}  // namespace kestrel
