#pragma once
// The summary's warnings, each in one CP932 sentence, so that the window and
// the collector's table say the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/logon_summary.h"

namespace kestrel {

// A name as an output shows it; the table cuts long ones to its column.
using NameText = std::string (*)(std::string_view cp932);

// Whether a warning says which events it counted: only where failures can
// come from more than failed logons (4625).
enum class CountedEvents { Unnamed, Named };

// "パスワード推測の疑い (PC01) KESTREL\suzuki: 10分間にログオン失敗 12回
// 2024/03/14 09:00:00 - 2024/03/14 09:08:12"; named, "12回 (ｲﾍﾞﾝﾄ 4625: 3回,
// 4771: 9回) 2024/...". Names whole without nameText.
std::string WarningText(const GuessingFlag& flag, std::int64_t windowSeconds, NameText nameText = nullptr,
                        CountedEvents events = CountedEvents::Unnamed);

// "パスワードスプレーの疑い 203.0.113.45: 10分間に 5ユーザのログオン失敗
// (Guest, admin, ...) (SV01) 2024/03/04 19:22:08 - 2024/03/04 19:22:35";
// named, "(SV01) (ｲﾍﾞﾝﾄ 4771: 9回) 2024/...".
std::string WarningText(const SprayingFlag& flag, std::int64_t windowSeconds, NameText nameText = nullptr,
                        CountedEvents events = CountedEvents::Unnamed);

// "KESTREL\suzuki (DC01) 2024/03/14 10:05:00 呼び出し元 PC03": a lockout
// line of the summary ("呼び出し元" left out when the caller is unknown).
std::string LockoutText(const LockoutEntry& lockout, NameText nameText = nullptr);

}  // namespace kestrel
