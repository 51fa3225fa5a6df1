#pragma once
// The values of binary XML substitutions: their types, and their text as
// Windows renders it in an event's XML, in code page 932.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::evtx {

enum ValueType : std::uint8_t {
    kNull = 0x00,
    kString = 0x01,
    kAnsiString = 0x02,
    kInt8 = 0x03,
    kUInt8 = 0x04,
    kInt16 = 0x05,
    kUInt16 = 0x06,
    kInt32 = 0x07,
    kUInt32 = 0x08,
    kInt64 = 0x09,
    kUInt64 = 0x0a,
    kReal32 = 0x0b,
    kReal64 = 0x0c,
    kBool = 0x0d,
    kBinary = 0x0e,
    kGuid = 0x0f,
    kSizeT = 0x10,
    kFileTime = 0x11,
    kSysTime = 0x12,
    kSid = 0x13,
    kHexInt32 = 0x14,
    kHexInt64 = 0x15,
    kEvtHandle = 0x20,
    kBinXml = 0x21,
    kEvtXml = 0x23,
    kArrayFlag = 0x80,
};

struct Value {
    std::uint8_t type = kNull;
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
};

// The text of one value that is not an array: appended to a string, or
// written at `to`, which has room for ScalarTextBound bytes; returns the end.
void AppendScalarText(std::uint8_t type, const unsigned char* data, std::uint32_t size, std::string& out);
std::size_t ScalarTextBound(std::uint8_t type, const unsigned char* data, std::uint32_t size);
char* WriteScalarText(std::uint8_t type, const unsigned char* data, std::uint32_t size, char* to);

// Calls item(data, size) for every element of an array value, in order.
template <typename Item>
void ForEachArrayItem(const Value& value, Item item);

// The value as an unsigned integer (integers of every width, times as FILETIME);
// nothing for texts and the rest.
std::optional<std::uint64_t> IntegerOf(const Value& value);

// Texts that stand where a number is expected: decimal, or hexadecimal after
// "0x"; and an ISO 8601 time such as 2016-06-29T15:24:34.346000000Z as FILETIME.
std::optional<std::uint64_t> ParseInteger(std::string_view text);
std::optional<std::uint64_t> ParseIsoTime(std::string_view text);

// Size of one element of an array of `type` (without the array flag); 0 for
// texts and SIDs, whose elements carry their own length.
std::uint32_t ElementSize(std::uint8_t type, std::uint32_t arraySize);

std::uint32_t SidSize(const unsigned char* data, std::uint32_t size);

template <typename Item>
void ForEachArrayItem(const Value& value, Item item) {
    const std::uint8_t type = value.type & ~kArrayFlag;
    const unsigned char* at = value.data;
    std::uint32_t left = value.size;
    if (type == kString) {
        // NUL-separated UTF-16 strings.
        std::uint32_t start = 0;
        for (std::uint32_t i = 0; i + 1 < value.size; i += 2) {
            if (at[i] == 0 && at[i + 1] == 0) {
                item(at + start, i - start);
                start = i + 2;
            }
        }
        if (start + 1 < value.size) item(at + start, (value.size - start) & ~1u);
        return;
    }
    if (type == kAnsiString) {
        std::uint32_t start = 0;
        for (std::uint32_t i = 0; i < value.size; ++i) {
            if (at[i] == 0) {
                item(at + start, i - start);
                start = i + 1;
            }
        }
        if (start < value.size) item(at + start, value.size - start);
        return;
    }
    if (type == kSid) {
        while (left >= 8) {
            const std::uint32_t size = SidSize(at, left);
            if (size == 0) return;
            item(at, size);
            at += size;
            left -= size;
        }
        return;
    }
    const std::uint32_t size = ElementSize(type, value.size);
    if (size == 0) return;
    for (; left >= size; at += size, left -= size) item(at, size);
}

}  // namespace kestrel::evtx
