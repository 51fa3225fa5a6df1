#include "engine/app_settings.h"

#include "platform/event_log_record.h"

namespace kestrel {

unsigned TypeMaskOf(const CollectJob& job) {
    unsigned mask = 0;
    if (job.Filter_Securityok) mask |= kEventTypeAuditSuccess;
    if (job.Filter_Securityng) mask |= kEventTypeAuditFailure;
    return mask;
}

void SetStartValues(AppSettings& s, std::time_t firstClock, std::time_t secondClock) {
    s.Filter_System = 0;
    s.Filter_Application = 0;
    s.Filter_Security = 1;
    s.Filter_Information = 0;
    s.Filter_Warning = 0;
    s.Filter_Error = 0;
    s.Filter_Securityok = 1;
    s.Filter_Securityng = 1;
    s.FromLogStart = 0;
    s.ToLogEnd = 1;
    s.DontShowMessageToolTip = 0;
    s.DayBefore = 7;
    s.MaxComputer = 200;
    s.FromTime = firstClock - static_cast<std::time_t>(s.DayBefore) * 86400;
    s.ToTime = secondClock;
    s.RunReport.clear();
}

}  // namespace kestrel
