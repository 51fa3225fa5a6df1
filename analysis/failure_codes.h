#pragma once
// Why an authentication failed, in Japanese, from the code its event gives:
// an NTSTATUS (4625, 4776) or a Kerberos error code (4768, 4769, 4771).
#include <cstdint>

namespace kestrel {

enum class FailureCodes { NtStatus, Kerberos };

// The CP932 text of a known code; null for others.
const char* FailureText(FailureCodes codes, std::uint64_t code);

}  // namespace kestrel
