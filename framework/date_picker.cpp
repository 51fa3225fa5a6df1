#include "framework/date_picker.h"

#include <commctrl.h>

namespace kestrel {

bool SetPickerTime(HWND picker, const SYSTEMTIME& time) {
    SYSTEMTIME value = time;
    return ::SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value)) != 0;
}

bool GetPickerTime(HWND picker, SYSTEMTIME* time) {
    return ::SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(time)) == GDT_VALID;
}

}  // namespace kestrel
