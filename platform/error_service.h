#pragma once
// The calling thread's last error, and the system's text for an error code
// (FormatMessageA from the system table, user default language).
#include <cstdint>
#include <string>

namespace kestrel {

class ErrorService {
public:
    virtual ~ErrorService() = default;
    virtual std::uint32_t LastError() = 0;
    virtual void SetLastError(std::uint32_t code) = 0;
    // The text ends in CR LF. When the system has no text for the code, a line
    // with the code's number stands in for it, so a report line never loses its end.
    virtual std::string SystemText(std::uint32_t code) = 0;
};

// What SystemText answers when the platform has no text of its own.
std::string UnknownErrorText(std::uint32_t code);

}  // namespace kestrel
