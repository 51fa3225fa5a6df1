#include "collector/session_output.h"

#include "collector/csv_line.h"
#include "collector/details_json.h"
#include "collector/json_text.h"

namespace kestrel {

void SessionOutput::AppendHeader(TextConverter convert, std::string& out) {
    AppendCsvLine(
        {"コンピュータ", "ログオンID", "ユーザ名", "コンピュータ名", "ログオンタイプ", "ワークステーション名",
         "ソースネットワークアドレス", "開始", "終了", "秒数", "終了イベントID"},
        convert, out);
}

void SessionOutput::BeginComputer(std::size_t, const std::string& computer) {
    computer_ = computer;
    logoffs_.clear();
}

void SessionOutput::Event(const LogEvent& event, const std::array<std::string, 8>* row, std::string& out) {
    if (!ReadEventDetails(event, details_)) return;
    const EventDetails& d = details_;
    if (d.kind == EventKind::Logoff) {
        if (d.logonId) logoffs_[*d.logonId] = {d.recordId, d.eventId, d.utcOffset, d.utc};
        return;
    }
    if (d.eventId != 4624) return;
    const Logoff* end = nullptr;
    auto found = d.logonId ? logoffs_.find(*d.logonId) : logoffs_.end();
    // Later means a higher record number; the reader's order promises it, and
    // this keeps a log read in another order from pairing backwards.
    if (found != logoffs_.end() && found->second.recordId > d.recordId) end = &found->second;
    if (row != nullptr) Write(d, end, out);
    if (found != logoffs_.end()) logoffs_.erase(found);
}

void SessionOutput::Write(const EventDetails& d, const Logoff* end, std::string& out) {
    if (json_) {
        out += '{';
        AppendJsonKey("computer", out);
        AppendJsonString(computer_, out);
        AppendJsonHexKey("logon_id", d.logonId, out);
        AppendJsonAccountKeys(d, out);
        AppendJsonTimeKey("start", d.utc, d.utcOffset, out);
        if (end != nullptr) {
            AppendJsonTimeKey("end", end->utc, end->utcOffset, out);
            out += ",\"seconds\":";
            out += std::to_string(end->utc - d.utc);
            out += ",\"end_event\":";
            AppendJsonNumber(end->eventId, out);
        } else {
            out += ",\"end\":null,\"seconds\":null,\"end_event\":null";
        }
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
    if (end != nullptr) {
        AppendLocalTimeText(end->utc, end->utcOffset, out);
        out += ',';
        out += std::to_string(end->utc - d.utc);
        out += ',';
        AppendJsonNumber(end->eventId, out);
    } else {
        out += ",,";
    }
    out += "\r\n";
}

}  // namespace kestrel
