#include "analysis/summary_warnings.h"

#include "base/comma_list.h"

namespace kestrel {
namespace {

// "10分間": the window as the warnings name it.
std::string WindowText(std::int64_t seconds) {
    return seconds % 60 == 0 ? std::to_string(seconds / 60) + "分間" : std::to_string(seconds) + "秒間";
}

std::string Name(std::string_view cp932, NameText nameText) {
    return nameText != nullptr ? nameText(cp932) : std::string(cp932);
}

void AppendPeriod(const SummaryTime& start, const SummaryTime& end, std::string& out) {
    AppendLocalTimeText(start.utc, start.utcOffset, out);
    out += " - ";
    AppendLocalTimeText(end.utc, end.utcOffset, out);
}

// "(ｲﾍﾞﾝﾄ 4625: 3回, 4771: 9回) ", the events with failures in the window.
void AppendCountedEvents(const FailureCounts& counts, CountedEvents events, std::string& out) {
    if (events == CountedEvents::Unnamed) return;
    std::string named;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        named += (named.empty() ? "(ｲﾍﾞﾝﾄ " : ", ") + std::to_string(kFailureEvents[i]) + ": " +
                 std::to_string(counts[i]) + "回";
    }
    if (!named.empty()) out += named + ") ";
}

}  // namespace

std::string WarningText(const GuessingFlag& flag, std::int64_t windowSeconds, NameText nameText,
                        CountedEvents events) {
    std::string text = "パスワード推測の疑い (" + Name(flag.computer, nameText) + ") " +
                       Name(QualifiedName(flag.user), nameText) + ": " + WindowText(windowSeconds) +
                       "にログオン失敗 " + std::to_string(flag.failedLogons) + "回 ";
    AppendCountedEvents(flag.byEvent, events, text);
    AppendPeriod(flag.start, flag.end, text);
    return text;
}

std::string WarningText(const SprayingFlag& flag, std::int64_t windowSeconds, NameText nameText,
                        CountedEvents events) {
    auto name = [nameText](std::string_view cp932) { return Name(cp932, nameText); };
    std::string text =
        "パスワードスプレーの疑い " + Name(flag.address, nameText) + ": " + WindowText(windowSeconds) +
        "に " + std::to_string(flag.users.size()) + "ユーザのログオン失敗 (" +
        JoinWithCommas(flag.users, [&](const SummaryUser& user) { return name(QualifiedName(user)); });
    text += ") (" + JoinWithCommas(flag.computers, name) + ") ";
    AppendCountedEvents(flag.byEvent, events, text);
    AppendPeriod(flag.start, flag.end, text);
    return text;
}

std::string LockoutText(const LockoutEntry& lockout, NameText nameText) {
    std::string text =
        Name(QualifiedName(lockout.user), nameText) + " (" + Name(lockout.computer, nameText) + ") ";
    AppendLocalTimeText(lockout.time.utc, lockout.time.utcOffset, text);
    if (!lockout.callerComputer.empty()) text += " 呼び出し元 " + Name(lockout.callerComputer, nameText);
    return text;
}

}  // namespace kestrel
