#pragma once
// Date and time picker controls: the value one holds, as local time.
#include <windows.h>

namespace kestrel {

bool SetPickerTime(HWND picker, const SYSTEMTIME& time);
// False when the picker holds no valid date.
bool GetPickerTime(HWND picker, SYSTEMTIME* time);

}  // namespace kestrel
