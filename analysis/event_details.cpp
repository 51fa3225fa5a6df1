#include "analysis/event_details.h"

#include <array>

#include "engine/local_clock.h"
#include "evtx/civil_date.h"

namespace kestrel {
namespace {

std::string_view Entry(const InsertionTable& strings, std::size_t index) {
    return strings[index] != nullptr ? std::string_view(strings[index]) : std::string_view();
}

// Absent, empty and "-" all mean "none" in these events.
std::optional<std::string_view> Present(const InsertionTable& strings, std::size_t index) {
    const std::string_view text = Entry(strings, index);
    if (text.empty() || text == "-") return std::nullopt;
    return text;
}

std::optional<std::uint32_t> DecimalAt(const InsertionTable& strings, std::size_t index) {
    return ParseDecimal(Entry(strings, index));
}

std::optional<std::uint64_t> HexAt(const InsertionTable& strings, std::size_t index) {
    return ParseHex(Entry(strings, index));
}

struct Civil {
    std::int64_t year;
    unsigned month, day, hour, minute, second;
};

Civil CivilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    Civil c{};
    CivilFromDays(days, c.year, c.month, c.day);
    const auto r = static_cast<unsigned>(rest);
    c.hour = r / 3600, c.minute = r / 60 % 60, c.second = r % 60;
    return c;
}

void AppendDigits(unsigned value, int width, std::string& out) {
    char digits[10];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

void AppendLocal(std::int64_t utc, std::int32_t utcOffset, char dateSeparator, char timeSeparator,
                 std::string& out) {
    const Civil c = CivilFromSeconds(utc + utcOffset);
    AppendDigits(static_cast<unsigned>(c.year), 4, out);
    out += dateSeparator;
    AppendDigits(c.month, 2, out);
    out += dateSeparator;
    AppendDigits(c.day, 2, out);
    out += timeSeparator;
    AppendDigits(c.hour, 2, out);
    out += ':';
    AppendDigits(c.minute, 2, out);
    out += ':';
    AppendDigits(c.second, 2, out);
}

struct FailureEntry {
    std::uint32_t status;
    const char* text;
};

constexpr FailureEntry kFailures[] = {
    {0xc0000064, "ユーザ名が存在しません"},
    {0xc000006a, "パスワードが違います"},
    {0xc000006d, "ユーザ名またはパスワードが違います"},
    {0xc000006e, "アカウントの制限によりログオンできません"},
    {0xc000006f, "ログオンできる時間帯ではありません"},
    {0xc0000070, "このワークステーションからはログオンできません"},
    {0xc0000071, "パスワードの有効期限が切れています"},
    {0xc0000072, "アカウントが無効です"},
    {0xc0000133, "コンピュータ間の時刻のずれが大きすぎます"},
    {0xc000015b, "このログオンの種類は許可されていません"},
    {0xc0000193, "アカウントの有効期限が切れています"},
    {0xc0000224, "次回ログオン時にパスワードの変更が必要です"},
    {0xc0000234, "アカウントがロックされています"},
    {0xc0000413, "認証ファイアウォールにより拒否されました"},
};

// Indexed by the type.
constexpr const char* kLogonTypes[] = {
    nullptr, nullptr,   "対話型",         "ﾈｯﾄﾜｰｸ",         "ﾊﾞｯﾁ",       "ｻｰﾋﾞｽ",
    nullptr, "ﾛｯｸ解除", "ﾈｯﾄﾜｰｸ ｸﾘｱﾃｷｽﾄ", "新しい資格情報", "ﾘﾓｰﾄ対話型", "ｷｬｯｼｭ対話型",
};

}  // namespace

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    text.remove_prefix(2);
    // Leading zeros do not count against the 16 digits a 64-bit value has.
    while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
    if (text.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
}

bool ReadEventDetails(const LogEvent& event, EventDetails& d) {
    const InsertionTable& s = event.strings;
    d = EventDetails{};
    d.eventId = static_cast<std::uint16_t>(event.eventId & 0xFFFF);
    switch (event.eventId) {
        case 4624:
            d.kind = EventKind::Logon;
            d.user = Entry(s, 5), d.domain = Entry(s, 6);
            d.logonType = DecimalAt(s, 8);
            d.workstation = Present(s, 11), d.ip = Present(s, 18);
            d.port = DecimalAt(s, 19);
            d.logonId = HexAt(s, 7);
            break;
        case 4625:
            d.kind = EventKind::FailedLogon;
            d.user = Entry(s, 5), d.domain = Entry(s, 6);
            d.logonType = DecimalAt(s, 10);
            d.workstation = Present(s, 13), d.ip = Present(s, 19);
            d.port = DecimalAt(s, 20);
            d.status = HexAt(s, 7), d.subStatus = HexAt(s, 9);
            break;
        case 4634:
        case 4647:
            d.kind = EventKind::Logoff;
            d.user = Entry(s, 1), d.domain = Entry(s, 2);
            if (event.eventId == 4634) d.logonType = DecimalAt(s, 4);
            d.logonId = HexAt(s, 3);
            break;
        default:
            return false;
    }
    d.recordId = event.record.RecordNumber;
    d.utc = event.record.TimeGenerated;
    // The time text is the local time the reader worked out for this record;
    // the offset is what lies between the two.
    if (const auto local = LocalSecondsOf(event.timeText != nullptr ? event.timeText : "")) {
        d.utcOffset = static_cast<std::int32_t>(*local - d.utc);
    }
    d.origin = event.origin != nullptr ? event.origin : "";
    return true;
}

void AppendHex(std::uint64_t value, std::string& out) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char text[16];
    int count = 0;
    do {
        text[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    out += "0x";
    while (count > 0) out += text[--count];
}

const char* FailureText(std::uint64_t status) {
    for (const FailureEntry& entry : kFailures) {
        if (entry.status == status) return entry.text;
    }
    return nullptr;
}

const char* LogonTypeName(std::uint32_t type) {
    return type < std::size(kLogonTypes) ? kLogonTypes[type] : nullptr;
}

void AppendFailureReason(const EventDetails& d, std::string& out) {
    const char* text = d.subStatus ? FailureText(*d.subStatus) : nullptr;
    if (text == nullptr && d.status) text = FailureText(*d.status);
    if (text != nullptr) {
        out += text;
        return;
    }
    out += "その他";
    if (d.status) {
        out += " (";
        AppendHex(*d.status, out);
        out += ')';
    }
}

void AppendIsoTime(std::int64_t utc, std::int32_t utcOffset, std::string& out) {
    AppendLocal(utc, utcOffset, '-', 'T', out);
    const std::int32_t minutes = (utcOffset >= 0 ? utcOffset : -utcOffset) / 60;
    out += utcOffset >= 0 ? '+' : '-';
    AppendDigits(static_cast<unsigned>(minutes / 60), 2, out);
    out += ':';
    AppendDigits(static_cast<unsigned>(minutes % 60), 2, out);
}

void AppendLocalTimeText(std::int64_t utc, std::int32_t utcOffset, std::string& out) {
    AppendLocal(utc, utcOffset, '/', ' ', out);
}

}  // namespace kestrel
