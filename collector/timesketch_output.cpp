#include "collector/timesketch_output.h"

#include "analysis/event_description.h"
#include "collector/details_json.h"
#include "collector/json_text.h"

namespace kestrel {
namespace {

bool Has(std::string_view text) { return !text.empty() && text != "-"; }
bool Has(const std::optional<std::string_view>& text) { return text && Has(*text); }

// DOMAIN\user, or the user alone (a Kerberos user@REALM names its own).
void AppendAccount(std::string_view user, std::string_view domain, std::string& out) {
    if (Has(domain) && user.find('@') == std::string_view::npos) out.append(domain).append("\\");
    out.append(Has(user) ? user : std::string_view("-"));
}

// What the parentheses at the end say: why it failed, how one logged on,
// which Remote Desktop session.
void AppendDetail(const EventDetails& d, std::string& out) {
    std::string detail;
    if (IsFailure(d)) {
        AppendFailureReason(d, detail);
    } else if (d.logonType) {
        const char* name = LogonTypeName(*d.logonType);
        detail = name != nullptr ? name : "ﾀｲﾌﾟ " + std::to_string(*d.logonType);
    } else if (Has(d.sessionName)) {
        detail = *d.sessionName;
    }
    if (!detail.empty()) out.append(" (").append(detail).append(")");
}

}  // namespace

void TimesketchRowOutput::AppendMessage(const EventDetails& d, const std::string& computer,
                                        std::string& out) {
    out += EventKindText(d.kind);
    out += ' ';
    AppendAccount(d.user, d.domain, out);
    out.append("@").append(computer);
    if (Has(d.ip)) {
        out.append(" from ").append(*d.ip);
    } else if (Has(d.workstation)) {
        out.append(" from ").append(*d.workstation);
    }
    if (Has(d.targetServer)) out.append(" to ").append(*d.targetServer);
    if (Has(d.service)) out.append(" to ").append(*d.service);
    if (Has(d.subjectUser) && d.kind == EventKind::ExplicitCredentials) {
        out += " by ";
        AppendAccount(d.subjectUser, d.subjectDomain, out);
    }
    AppendDetail(d, out);
}

void TimesketchRowOutput::Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                                std::string& out) {
    const EventDetails* read = row != nullptr ? DetailsOf(event, details, details_) : nullptr;
    if (read == nullptr) return;
    const EventDetails& d = *read;
    message_.clear();
    AppendMessage(d, computer_, message_);
    out += '{';
    AppendJsonKey("message", out);
    AppendJsonString(message_, out);
    AppendJsonTimeKey("datetime", d.utc, d.utcOffset, out);
    AppendJsonKey("timestamp", out);
    AppendJsonNumber(static_cast<std::uint64_t>(d.utc) * 1000000,
                     out);  // a record's time is never before 1970
    AppendJsonKey("timestamp_desc", out);
    out += "\"Event Recorded\"";
    keys_.AppendRowKeys(event, d, out);
    if (messages_) {
        AppendJsonKey("event_message", out);
        AppendJsonString(event.message != nullptr ? event.message : "", out);
    }
    out += "}\n";
}

}  // namespace kestrel
