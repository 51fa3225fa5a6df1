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

// "パスワード推測の疑い (PC01) KESTREL\suzuki: 10分間にログオン失敗 12回
// 2024/03/14 09:00:00 - 2024/03/14 09:08:12". Names whole without nameText.
std::string WarningText(const GuessingFlag& flag, std::int64_t windowSeconds, NameText nameText = nullptr);

// "パスワードスプレーの疑い 203.0.113.45: 10分間に 5ユーザのログオン失敗
// (Guest, admin, ...) (SV01) 2024/03/04 19:22:08 - 2024/03/04 19:22:35".
std::string WarningText(const SprayingFlag& flag, std::int64_t windowSeconds, NameText nameText = nullptr);

}  // namespace kestrel
