#pragma once
// The application object: one running copy, the document, frame and views
// through one single-document template, and the settings (AppSettings) that
// every part reads and writes in place.
#include <windows.h>

#include "engine/app_settings.h"
#include "engine/log_reader.h"
#include "framework/app.h"
#include "framework/scoped_handles.h"

namespace kestrel {

inline constexpr char kMutexName[] = "kstr2000";
inline constexpr char kSettingsKey[] = "SOFTWARE\\Norvale\\ケストレル";

class CKestrelApp : public CWinApp, public AppSettings {
public:
    BOOL InitInstance() override;

    // The settings reader: nonzero would mean that the value was put into
    // buffer as text. Nothing is stored, so every value is absent and buffer
    // stays as it is.
    virtual BOOL ReadSetting(HKEY root, const char* subKey, const char* valueName, DWORD type, void* buffer);

    // ID_APP_ABOUT.
    void OnAppAbout();

    // The single-instance mutex, held as long as the application object: in
    // the program, until the process ends.
    ScopedHandle MutexHandle;

    // The services the runs read through; null takes the Win32 ones (with
    // the exported logs KESTREL_LOG_DIR names). Tests put their fakes here.
    const ReaderServices* m_pRunServices = nullptr;

protected:
    bool OnCommand(UINT id) override;
};

// The application object, or null when there is none.
CKestrelApp* GetKestrelApp();

}  // namespace kestrel
