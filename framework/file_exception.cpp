#include "framework/file_exception.h"

#include "framework/message_box.h"

namespace kestrel {

int CFileException::OsErrorToException(LONG osError) {
    switch (osError) {
        case NO_ERROR:
            return none;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
        case ERROR_NO_MORE_FILES:
        case ERROR_DISK_CHANGE:
            return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_SAME_DEVICE:
        case ERROR_BAD_NETPATH:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
        case ERROR_TOO_MANY_NAMES:
        case ERROR_NO_MORE_SEARCH_HANDLES:
            return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_ACCESS:
        case ERROR_WRITE_PROTECT:
        case ERROR_WRITE_FAULT:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_CANNOT_MAKE:
        case ERROR_BUSY:
            return accessDenied;
        case ERROR_BAD_FORMAT:
        case ERROR_NOT_DOS_DISK:
        case ERROR_BAD_EXE_FORMAT:
            return invalidFile;
        case ERROR_CURRENT_DIRECTORY:
        case ERROR_DIR_NOT_EMPTY:
            return removeCurrentDir;
        case ERROR_NO_SPOOL_SPACE:
            return directoryFull;
        case ERROR_SEEK:
        case ERROR_BAD_LENGTH:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_READ_FAULT:
        case ERROR_NEGATIVE_SEEK:
        case ERROR_SEEK_ON_DEVICE:
            return badSeek;
        case ERROR_NOT_READY:
        case ERROR_CRC:
        case ERROR_BAD_UNIT:
        case ERROR_NET_WRITE_FAULT:
        case ERROR_UNEXP_NET_ERR:
        case ERROR_OPERATION_ABORTED:
            return hardIO;
        case ERROR_SHARING_VIOLATION:
        case ERROR_SHARING_BUFFER_EXCEEDED:
            return sharingViolation;
        case ERROR_LOCK_VIOLATION:
        case ERROR_LOCK_FAILED:
        case ERROR_DRIVE_LOCKED:
            return lockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return diskFull;
        case ERROR_HANDLE_EOF:
            return endOfFile;
        default:
            return genericException;
    }
}

std::string CFileException::GetErrorMessage() const {
    if (m_cause <= none || m_cause > endOfFile) return {};
    std::string text = AfxLoadText(kFileExceptionStrings + static_cast<UINT>(m_cause));
    // '%' and digits are never trail bytes of a double-byte character.
    for (std::size_t at = text.find("%1"); at != std::string::npos;
         at = text.find("%1", at + m_strFileName.size())) {
        text.replace(at, 2, m_strFileName);
    }
    return text;
}

int CFileException::ReportError(UINT type, UINT fallbackId) const {
    std::string text = GetErrorMessage();
    if (text.empty() && fallbackId != 0) text = AfxLoadText(fallbackId);
    if (text.empty()) return 0;
    return AfxMessageBox(text.c_str(), type);
}

}  // namespace kestrel
