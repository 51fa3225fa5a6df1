#include "tests/win/messages/message_fixture.h"

namespace kestrel::testing {
namespace {

constexpr const char* kLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security";

std::string ExecutableFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

}  // namespace

std::string UniqueSourceName(const char* stem) { return stem + std::to_string(GetCurrentProcessId()); }

ModuleOnDriveC::ModuleOnDriveC() : folder_("C:\\kestrel_messages_" + std::to_string(GetCurrentProcessId())) {
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string built = ExecutableFolder() + "\\kestrel_test_messages.dll";
    ok_ = CopyFileA(built.c_str(), path().c_str(), FALSE) != FALSE;
}

ModuleOnDriveC::~ModuleOnDriveC() {
    DeleteFileA(path().c_str());
    RemoveDirectoryA(folder_.c_str());
}

RegisteredSource::RegisteredSource(const std::string& source) : source_(source) {
    HKEY log = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLogKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &log,
                        &disposition) != ERROR_SUCCESS) {
        return;
    }
    madeLogKey_ = disposition == REG_CREATED_NEW_KEY;
    if (RegCreateKeyExA(log, source_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
        ERROR_SUCCESS) {
        key_ = nullptr;
    }
    RegCloseKey(log);
}

RegisteredSource::~RegisteredSource() {
    if (key_ != nullptr) RegCloseKey(key_);
    const std::string path = std::string(kLogKey) + "\\" + source_;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    if (madeLogKey_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kLogKey);
}

void RegisteredSource::Set(const char* name, const std::string& value) {
    RegSetValueExA(key_, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

}  // namespace kestrel::testing
