#pragma once
// Why the reader passed something over, and where: every chunk, record or
// template it does not read carries one, so that tests and fuzz findings can
// say what was wrong with the bytes.
#include <cstdint>

namespace kestrel::evtx {

enum class Reason : std::uint8_t {
    None,
    Truncated,            // a field or a stretch of bytes runs past its end
    NotAnEventLog,        // the file does not begin with the file signature
    ChunkUnreadable,      // the file could not be read there (shorter than when opened)
    ChunkHeaderDamaged,   // no chunk signature, or a header checksum that does not match
    RecordDamaged,        // a record's signature or its two sizes do not agree
    BadToken,             // binary XML with a token that has no meaning there
    BadName,              // a name that lies outside its chunk
    BadTemplate,          // a template that is damaged, or that uses itself
    TooDeep,              // templates or elements nested beyond what a real event has
    TooMuchWork,          // a record that asks for more work or text than any event
};

const char* ReasonText(Reason reason);

struct Fault {
    Reason reason = Reason::None;
    std::uint64_t offset = 0;  // in the file

    explicit operator bool() const { return reason != Reason::None; }
};

}  // namespace kestrel::evtx
