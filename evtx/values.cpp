#include "evtx/values.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "base/civil_date.h"
#include "base/file_time.h"
#include "base/utf16_cp932.h"

namespace kestrel::evtx {
namespace {

template <typename T>
T Load(const unsigned char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);  // little-endian on every target
    return value;
}

template <typename T>
char* WriteNumber(T value, char* to, int base = 10) {
    return std::to_chars(to, to + 24, value, base).ptr;
}

char* WriteHex(std::uint64_t value, char* to) {
    *to++ = '0';
    *to++ = 'x';
    return std::to_chars(to, to + 16, value, 16).ptr;
}

char* WriteDigits(std::uint32_t value, int width, char* to) {
    for (int i = width - 1; i >= 0; --i) {
        to[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return to + width;
}

char* WriteIso(std::int64_t days, std::uint32_t secondOfDay, std::uint32_t fraction9, char* to) {
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    to = WriteDigits(static_cast<std::uint32_t>(year), 4, to);
    *to++ = '-';
    to = WriteDigits(month, 2, to);
    *to++ = '-';
    to = WriteDigits(day, 2, to);
    *to++ = 'T';
    to = WriteDigits(secondOfDay / 3600, 2, to);
    *to++ = ':';
    to = WriteDigits(secondOfDay / 60 % 60, 2, to);
    *to++ = ':';
    to = WriteDigits(secondOfDay % 60, 2, to);
    *to++ = '.';
    to = WriteDigits(fraction9, 9, to);
    *to++ = 'Z';
    return to;
}

char* WriteFileTime(std::uint64_t fileTime, char* to) {
    const std::uint64_t seconds = fileTime / kFileTimeTicksPerSecond;
    const auto days = static_cast<std::int64_t>(seconds / 86400) - kFileTimeDaysTo1970;
    return WriteIso(days, static_cast<std::uint32_t>(seconds % 86400),
                    static_cast<std::uint32_t>(fileTime % kFileTimeTicksPerSecond) * 100, to);
}

struct SysTime {
    std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

SysTime LoadSysTime(const unsigned char* data) {
    SysTime t;
    std::uint16_t* fields[] = {&t.year, &t.month,  &t.dayOfWeek, &t.day,
                               &t.hour, &t.minute, &t.second,    &t.milliseconds};
    for (int i = 0; i < 8; ++i) *fields[i] = Load<std::uint16_t>(data + 2 * i);
    return t;
}

bool ValidSysTime(const SysTime& t) {
    return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

char* WriteGuid(const unsigned char* g, char* to) {
    static const char kDigits[] = "0123456789ABCDEF";
    auto hex = [&to](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) *to++ = kDigits[(value >> (4 * i)) & 0xF];
    };
    *to++ = '{';
    hex(Load<std::uint32_t>(g), 8);
    *to++ = '-';
    hex(Load<std::uint16_t>(g + 4), 4);
    *to++ = '-';
    hex(Load<std::uint16_t>(g + 6), 4);
    *to++ = '-';
    hex(g[8], 2);
    hex(g[9], 2);
    *to++ = '-';
    for (int i = 10; i < 16; ++i) hex(g[i], 2);
    *to++ = '}';
    return to;
}

char* WriteSid(const unsigned char* data, std::uint32_t size, char* to) {
    if (SidSize(data, size) == 0) return to;
    std::uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = (authority << 8) | data[i];
    *to++ = 'S';
    *to++ = '-';
    to = WriteNumber(static_cast<unsigned>(data[0]), to);
    *to++ = '-';
    to = authority >> 32 ? WriteHex(authority, to) : WriteNumber(authority, to);
    for (unsigned i = 0; i < data[1]; ++i) {
        *to++ = '-';
        to = WriteNumber(Load<std::uint32_t>(data + 8 + 4 * i), to);
    }
    return to;
}

}  // namespace

std::uint32_t SidSize(const unsigned char* data, std::uint32_t size) {
    if (size < 8) return 0;
    const std::uint32_t need = 8 + 4u * data[1];
    return need <= size ? need : 0;
}

std::uint32_t ElementSize(std::uint8_t type, std::uint32_t arraySize) {
    switch (type) {
        case kInt8:
        case kUInt8:
            return 1;
        case kInt16:
        case kUInt16:
            return 2;
        case kInt32:
        case kUInt32:
        case kReal32:
        case kBool:
        case kHexInt32:
            return 4;
        case kInt64:
        case kUInt64:
        case kReal64:
        case kFileTime:
        case kHexInt64:
            return 8;
        case kGuid:
        case kSysTime:
            return 16;
        case kSizeT:
            return arraySize % 8 == 0 ? 8 : 4;
        default:
            return 0;
    }
}

std::size_t ScalarTextBound(std::uint8_t type, const unsigned char* data, std::uint32_t size) {
    switch (type) {
        case kString:
        case kEvtXml:
            return size & ~1u;  // two bytes at most for each unit
        case kAnsiString:
            return size;
        case kBinary:
            return 2ull * size;
        case kGuid:
            return 38;
        case kFileTime:
        case kSysTime:
            return 30;
        case kSid:
            return size >= 8 ? 20 + 11ull * data[1] : 0;
        case kNull:
        case kEvtHandle:
        case kBinXml:
            return 0;
        default:
            return 32;  // numbers
    }
}

char* WriteScalarText(std::uint8_t type, const unsigned char* data, std::uint32_t size, char* to) {
    const std::uint32_t need = ElementSize(type, size);
    if (need != 0 && size < need) return to;  // too short to hold its type: nothing to show
    switch (type) {
        case kString:
        case kEvtXml:
            return to + Utf16LeToCp932(data, size / 2, to);
        case kAnsiString: {
            const auto length = static_cast<std::size_t>(std::find(data, data + size, 0) - data);
            if (length > 0) std::memcpy(to, data, length);
            return to + length;
        }
        case kInt8:
            return WriteNumber(Load<std::int8_t>(data), to);
        case kUInt8:
            return WriteNumber(Load<std::uint8_t>(data), to);
        case kInt16:
            return WriteNumber(Load<std::int16_t>(data), to);
        case kUInt16:
            return WriteNumber(Load<std::uint16_t>(data), to);
        case kInt32:
            return WriteNumber(Load<std::int32_t>(data), to);
        case kUInt32:
            return WriteNumber(Load<std::uint32_t>(data), to);
        case kInt64:
            return WriteNumber(Load<std::int64_t>(data), to);
        case kUInt64:
            return WriteNumber(Load<std::uint64_t>(data), to);
        case kReal32:
            return std::to_chars(to, to + 32, Load<float>(data)).ptr;
        case kReal64:
            return std::to_chars(to, to + 32, Load<double>(data)).ptr;
        case kBool: {
            const char* text = Load<std::uint32_t>(data) != 0 ? "true" : "false";
            const std::size_t length = std::strlen(text);
            std::memcpy(to, text, length);
            return to + length;
        }
        case kBinary: {
            static const char kDigits[] = "0123456789ABCDEF";
            for (std::uint32_t i = 0; i < size; ++i) {
                *to++ = kDigits[data[i] >> 4];
                *to++ = kDigits[data[i] & 0xF];
            }
            return to;
        }
        case kGuid:
            return WriteGuid(data, to);
        case kSizeT:
            return WriteHex(size >= 8 ? Load<std::uint64_t>(data) : Load<std::uint32_t>(data), to);
        case kFileTime:
            return WriteFileTime(Load<std::uint64_t>(data), to);
        case kSysTime: {
            const SysTime t = LoadSysTime(data);
            if (!ValidSysTime(t)) return to;
            return WriteIso(DaysFromCivil(t.year, t.month, t.day), t.hour * 3600u + t.minute * 60u + t.second,
                            t.milliseconds * 1000000u, to);
        }
        case kSid:
            return WriteSid(data, size, to);
        case kHexInt32:
            return WriteHex(Load<std::uint32_t>(data), to);
        case kHexInt64:
            return WriteHex(Load<std::uint64_t>(data), to);
        default:
            return to;  // null, handles and anything unknown show nothing
    }
}

void AppendScalarText(std::uint8_t type, const unsigned char* data, std::uint32_t size, std::string& out) {
    const std::size_t old = out.size();
    out.resize(old + ScalarTextBound(type, data, size));
    char* const end = WriteScalarText(type, data, size, out.data() + old);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::optional<std::uint64_t> IntegerOf(const Value& value) {
    const std::uint32_t need = ElementSize(value.type, value.size);
    if (need == 0 || value.size < need) return std::nullopt;
    switch (value.type) {
        case kInt8:
            return static_cast<std::uint64_t>(Load<std::int8_t>(value.data));
        case kUInt8:
            return Load<std::uint8_t>(value.data);
        case kInt16:
            return static_cast<std::uint64_t>(Load<std::int16_t>(value.data));
        case kUInt16:
            return Load<std::uint16_t>(value.data);
        case kInt32:
            return static_cast<std::uint64_t>(Load<std::int32_t>(value.data));
        case kUInt32:
        case kHexInt32:
        case kBool:
            return Load<std::uint32_t>(value.data);
        case kInt64:
        case kUInt64:
        case kHexInt64:
        case kFileTime:
            return Load<std::uint64_t>(value.data);
        case kSizeT:
            return value.size >= 8 ? Load<std::uint64_t>(value.data) : Load<std::uint32_t>(value.data);
        case kSysTime: {
            const SysTime t = LoadSysTime(value.data);
            if (!ValidSysTime(t)) return std::nullopt;
            const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) + kFileTimeDaysTo1970;
            const std::uint64_t seconds =
                static_cast<std::uint64_t>(days) * 86400 + t.hour * 3600u + t.minute * 60u + t.second;
            return seconds * kFileTimeTicksPerSecond + t.milliseconds * 10000ull;
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::uint64_t> ParseInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> ParseIsoTime(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS, then an optional fraction, then an optional Z.
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':') {
        return std::nullopt;
    }
    auto number = [text](std::size_t at, std::size_t digits) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    std::uint64_t ticks = 0;
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        std::uint64_t scale = kFileTimeTicksPerSecond;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            scale /= 10;
            ticks += static_cast<std::uint64_t>(text[at] - '0') * scale;
        }
    }
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kFileTimeDaysTo1970;
    const std::uint64_t seconds = static_cast<std::uint64_t>(days) * 86400 +
                                  static_cast<std::uint64_t>(hour * 3600 + minute * 60 + second);
    return seconds * kFileTimeTicksPerSecond + ticks;
}

}  // namespace kestrel::evtx
