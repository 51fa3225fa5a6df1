#include "collector/session_output.h"

#include <vector>

#include "collector/csv_line.h"
#include "collector/details_json.h"
#include "collector/json_text.h"

namespace kestrel {

void SessionOutput::AppendHeader(TextConverter convert, std::string& out, bool marked) {
    std::vector<std::string_view> headings = {"コンピュータ",
                                              "ログオンID",
                                              "ユーザ名",
                                              "コンピュータ名",
                                              "ログオンタイプ",
                                              "ワークステーション名",
                                              "ソースネットワークアドレス",
                                              "開始",
                                              "終了",
                                              "秒数",
                                              "終了イベントID"};
    if (marked) headings.insert(headings.end(), {"管理者", "切断", "再接続", "最終切断"});
    AppendCsvLine(headings, convert, out);
}

void SessionOutput::BeginComputer(std::size_t, const std::string& computer) {
    computer_ = computer;
    pairing_.BeginComputer();
}

void SessionOutput::Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                          std::string& out) {
    const EventDetails* d = DetailsOf(event, details, details_);
    if (d == nullptr) return;
    if (const auto session = pairing_.Add(*d, row != nullptr)) Write(*session, out);
}

void SessionOutput::Write(const LogonSession& session, std::string& out) {
    const EventDetails& d = *session.logon;
    const std::optional<SessionEnd>& end = session.end;
    if (json_) {
        out += '{';
        AppendJsonKey("computer", out);
        AppendJsonString(computer_, out);
        AppendJsonHexKey("logon_id", d.logonId, out);
        AppendJsonAccountKeys(d, out);
        AppendJsonTimeKey("start", d.utc, d.utcOffset, out);
        if (end) {
            AppendJsonTimeKey("end", end->utc, end->utcOffset, out);
            out += ",\"seconds\":";
            out += std::to_string(end->utc - d.utc);
            out += ",\"end_event\":";
            AppendJsonNumber(end->eventId, out);
        } else {
            out += ",\"end\":null,\"seconds\":null,\"end_event\":null";
        }
        WriteMarks(session, out);
        out += "}\n";
        return;
    }
    AppendCsvText(computer_, convert_, style_, out);
    out += ',';
    if (d.logonId) AppendHex(*d.logonId, out);
    out += ',';
    AppendCsvText(d.user, convert_, style_, out);
    out += ',';
    AppendCsvText(d.domain, convert_, style_, out);
    out += ',';
    if (d.logonType) AppendJsonNumber(*d.logonType, out);
    out += ',';
    if (d.workstation) AppendCsvText(*d.workstation, convert_, style_, out);
    out += ',';
    if (d.ip) AppendCsvText(*d.ip, convert_, style_, out);
    out += ',';
    AppendLocalTimeText(d.utc, d.utcOffset, out);
    out += ',';
    if (end) {
        AppendLocalTimeText(end->utc, end->utcOffset, out);
        out += ',';
        out += std::to_string(end->utc - d.utc);
        out += ',';
        AppendJsonNumber(end->eventId, out);
    } else {
        out += ",,";
    }
    WriteMarks(session, out);
    out += "\r\n";
}

void SessionOutput::WriteMarks(const LogonSession& session, std::string& out) {
    if (!marked_) return;
    const std::optional<SessionEnd>& last = session.lastDisconnect;
    if (json_) {
        out += session.admin ? ",\"admin\":true" : ",\"admin\":false";
        out += ",\"disconnects\":" + std::to_string(session.disconnects);
        out += ",\"reconnects\":" + std::to_string(session.reconnects);
        if (last) {
            AppendJsonTimeKey("last_disconnect", last->utc, last->utcOffset, out);
        } else {
            out += ",\"last_disconnect\":null";
        }
        return;
    }
    out += ',';
    AppendCsvText(session.admin ? "はい" : "いいえ", convert_, style_, out);
    out += ',' + std::to_string(session.disconnects) + ',' + std::to_string(session.reconnects) + ',';
    if (last) AppendLocalTimeText(last->utc, last->utcOffset, out);
}

}  // namespace kestrel
