#pragma once
// Exported event logs (.evtx): the file header, its 64 KiB chunks, their
// records and the binary XML inside them, read into what a classic event
// record (EVENTLOGRECORD) carries. Portable, and careful with damaged files:
// nothing outside the given bytes is ever read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::evtx {

// One record in the terms of the classic event-log API; texts are CP932.
struct Event {
    std::uint64_t recordId = 0;
    std::uint32_t eventId = 0;  // qualifiers in the high 16 bits
    std::uint32_t timeGenerated = 0;  // seconds since 1970-01-01 UTC
    std::uint32_t timeWritten = 0;
    std::uint16_t eventType = 0;
    std::uint16_t category = 0;
    std::string source;
    std::string computer;
    std::string strings;  // the insertion strings, each followed by its NUL
    std::uint32_t stringCount = 0;
    std::string data;     // the bytes of EventData's Binary
};

class File {
public:
    File();
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Finds the records in `data`, which must stay alive and unchanged while
    // the File is used. False when the bytes are not an event log at all.
    bool Open(const unsigned char* data, std::size_t size);

    // Records found, counted from the newest (highest record identifier).
    std::size_t RecordCount() const;

    // Decodes the index-th newest record. False when its contents are damaged
    // beyond reading; the caller skips it.
    bool Read(std::size_t index, Event& out);

    struct Impl;  // defined where the file is read

private:
    std::unique_ptr<Impl> impl_;
};

// Seconds since 1970 of a FILETIME, held to the range of a 32-bit unsigned time.
std::uint32_t FileTimeToUnixSeconds(std::uint64_t fileTime);

}  // namespace kestrel::evtx
