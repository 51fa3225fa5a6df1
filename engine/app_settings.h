#pragma once
// The settings of the application object. Nothing is stored: every start takes
// the start values. Flags are 0 / nonzero.
#include <ctime>
#include <string>

namespace kestrel {

// What a collection run reads; the start dialog writes it.
struct CollectJob {
    int Filter_Securityng = 0;
    int Filter_Securityok = 0;
    int ToLogEnd = 0;
    int FromLogStart = 0;
    int Filter_Warning = 0;
    int Filter_Error = 0;
    int Filter_Information = 0;
    int Filter_Security = 0;
    int Filter_Application = 0;
    int Filter_System = 0;
    std::time_t ToTime = 0;
    std::time_t FromTime = 0;
};

// Zero until the start-up sequence gives the start values: the views are
// created before that and see zeros.
struct AppSettings : CollectJob {
    int MaxComputer = 0;
    int DayBefore = 0;
    int DontShowMessageToolTip = 0;
    std::string RunReport;
};

// Event-type bits a run keeps, from the two audit flags.
unsigned TypeMaskOf(const CollectJob& job);

// The start values. firstClock and secondClock are two readings of the clock:
// FromTime comes from the first, ToTime from the second.
void SetStartValues(AppSettings& settings, std::time_t firstClock, std::time_t secondClock);

}  // namespace kestrel
