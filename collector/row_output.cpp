#include "collector/row_output.h"

#include "collector/csv_line.h"
#include "collector/details_json.h"
#include "collector/event_json.h"
#include "collector/json_text.h"

namespace kestrel {

void CsvRowOutput::AppendHeader(TextConverter convert, bool details, std::string& out, bool messages) {
    static constexpr std::string_view kTable[] = {"コンピュータ", "時刻",           "ログオン",   "ログオフ",
                                                  "ユーザ名",     "コンピュータ名", "イベントID", "タイプ"};
    static constexpr std::string_view kDetails[] = {
        "ログオンタイプ", "ワークステーション名", "ソースネットワークアドレス",
        "ソースポート",   "ログオンID",           "状態",
        "サブ状態",       "失敗の理由",           "記録したコンピュータ"};
    for (std::string_view heading : kTable) {
        if (heading != kTable[0]) out += ',';
        AppendCsvText(heading, convert, kCollectorCsv, out);
    }
    for (std::string_view heading : kDetails) {
        if (!details) break;
        out += ',';
        AppendCsvText(heading, convert, kCollectorCsv, out);
    }
    if (details && messages) {
        out += ',';
        AppendCsvText("メッセージ", convert, kCollectorCsv, out);
    }
    out += "\r\n";
}

void CsvRowOutput::Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                         std::string& out) {
    if (row == nullptr) return;
    AppendCsvText(computer_, convert_, style_, out);
    for (std::size_t column = 1; column < row->size(); ++column) {
        out += ',';
        AppendCsvText((*row)[column], convert_, style_, out);
    }
    const EventDetails* read = detailed_ ? DetailsOf(event, details, details_) : nullptr;
    if (read != nullptr) {
        const EventDetails& d = *read;
        auto number = [&](const auto& value) {
            out += ',';
            if (value) AppendJsonNumber(*value, out);
        };
        auto text = [&](const std::optional<std::string_view>& value) {
            out += ',';
            if (value) AppendCsvText(*value, convert_, style_, out);
        };
        auto hex = [&](const std::optional<std::uint64_t>& value) {
            out += ',';
            if (value) AppendHex(*value, out);
        };
        number(d.logonType);
        text(d.workstation);
        text(d.ip);
        number(d.port);
        hex(d.logonId);
        hex(d.status);
        hex(d.subStatus);
        out += ',';
        if (IsFailure(d)) {
            field_.clear();
            AppendFailureReason(d, field_);
            AppendCsvText(field_, convert_, style_, out);
        }
        text(d.origin);
        if (messages_) text(std::string_view(event.message != nullptr ? event.message : ""));
    }
    out += "\r\n";
}

// The keys of the table's three events, the same for each.
void JsonRowOutput::AppendLogonKeys(const EventDetails& d, std::string& out) {
    AppendJsonAccountKeys(d, out, absent_);
    AppendJsonNumberKey("port", d.port, out, absent_);
    AppendJsonHexKey("logon_id", d.logonId, out, absent_);
    AppendJsonHexKey("status", d.status, out, absent_);
    AppendJsonHexKey("sub_status", d.subStatus, out, absent_);
    field_.clear();
    if (IsFailure(d)) AppendFailureReason(d, field_);
    AppendJsonTextKey("failure_reason", IsFailure(d) ? std::optional<std::string_view>(field_) : std::nullopt,
                      out, absent_);
}

void JsonRowOutput::AppendRowKeys(const LogEvent& event, const EventDetails& d, std::string& out) {
    AppendJsonKey("computer", out);
    AppendJsonString(computer_, out);
    AppendJsonTimeKey("time", d.utc, d.utcOffset, out);
    AppendJsonKey("record_id", out);
    AppendJsonNumber(d.recordId, out);
    AppendJsonKey("event_id", out);
    AppendJsonNumber(d.eventId, out);
    AppendJsonKey("kind", out);
    out += '"';
    out += JsonKindName(d.kind);
    out += '"';
    if (d.kind == EventKind::Logon || d.kind == EventKind::FailedLogon || d.kind == EventKind::Logoff) {
        AppendLogonKeys(d, out);
    } else {
        AppendEventKeys(d, out, absent_);
    }
    AppendJsonKey("origin", out);
    AppendJsonString(d.origin, out);
    if (messages_) {
        AppendJsonKey("message", out);
        AppendJsonString(event.message != nullptr ? event.message : "", out);
    }
}

void JsonRowOutput::Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                          std::string& out) {
    const EventDetails* d = row != nullptr ? DetailsOf(event, details, details_) : nullptr;
    if (d == nullptr) return;
    out += '{';
    AppendRowKeys(event, *d, out);
    out += "}\n";
}

}  // namespace kestrel
