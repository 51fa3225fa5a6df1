#pragma once
// A failed file operation: a cause, the platform's error code and the file's
// name. The cause picks the message out of the string table, so that every
// failure of a kind reads the same. It is never thrown: the caller that sees
// the failure makes one and reports it.
#include <string>

#include "framework/wnd.h"

namespace kestrel {

// String table: the message of cause c is string kFileExceptionStrings + c,
// with "%1" standing for the file's name.
inline constexpr UINT kFileExceptionStrings = 61856;

class CFileException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(int cause, LONG osError, std::string fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    // The cause for a GetLastError code.
    static int OsErrorToException(LONG osError);

    // The cause's message with the file's name in place of "%1"; empty when
    // the string table has none for it.
    std::string GetErrorMessage() const;
    // Shows the message (or, without one, the text of string fallbackId) in
    // the application's message box; the box's answer.
    int ReportError(UINT type = MB_OK | MB_ICONSTOP, UINT fallbackId = 0) const;

    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};

}  // namespace kestrel
