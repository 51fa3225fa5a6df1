#include "analysis/failure_codes.h"

namespace kestrel {
namespace {

struct FailureEntry {
    FailureCodes codes;
    std::uint32_t code;
    const char* text;
};

constexpr FailureEntry kFailures[] = {
    {FailureCodes::NtStatus, 0xc0000064, "ユーザ名が存在しません"},
    {FailureCodes::NtStatus, 0xc000006a, "パスワードが違います"},
    {FailureCodes::NtStatus, 0xc000006d, "ユーザ名またはパスワードが違います"},
    {FailureCodes::NtStatus, 0xc000006e, "アカウントの制限によりログオンできません"},
    {FailureCodes::NtStatus, 0xc000006f, "ログオンできる時間帯ではありません"},
    {FailureCodes::NtStatus, 0xc0000070, "このワークステーションからはログオンできません"},
    {FailureCodes::NtStatus, 0xc0000071, "パスワードの有効期限が切れています"},
    {FailureCodes::NtStatus, 0xc0000072, "アカウントが無効です"},
    {FailureCodes::NtStatus, 0xc0000133, "コンピュータ間の時刻のずれが大きすぎます"},
    {FailureCodes::NtStatus, 0xc000015b, "このログオンの種類は許可されていません"},
    {FailureCodes::NtStatus, 0xc0000193, "アカウントの有効期限が切れています"},
    {FailureCodes::NtStatus, 0xc0000224, "次回ログオン時にパスワードの変更が必要です"},
    {FailureCodes::NtStatus, 0xc0000234, "アカウントがロックされています"},
    {FailureCodes::NtStatus, 0xc0000413, "認証ファイアウォールにより拒否されました"},
    // RFC 4120's KDC_ERR_C_PRINCIPAL_UNKNOWN, KDC_ERR_S_PRINCIPAL_UNKNOWN,
    // KDC_ERR_POLICY, KDC_ERR_CLIENT_REVOKED, KDC_ERR_KEY_EXPIRED,
    // KDC_ERR_PREAUTH_FAILED and KRB_AP_ERR_SKEW.
    {FailureCodes::Kerberos, 0x6, "ユーザ名が存在しません"},
    {FailureCodes::Kerberos, 0x7, "サービスが存在しません"},
    {FailureCodes::Kerberos, 0xc, "アカウントの制限によりログオンできません"},
    {FailureCodes::Kerberos, 0x12, "アカウントが無効かロックされています"},
    {FailureCodes::Kerberos, 0x17, "パスワードの有効期限が切れています"},
    {FailureCodes::Kerberos, 0x18, "パスワードが違います"},
    {FailureCodes::Kerberos, 0x25, "コンピュータ間の時刻のずれが大きすぎます"},
};

}  // namespace

const char* FailureText(FailureCodes codes, std::uint64_t code) {
    for (const FailureEntry& entry : kFailures) {
        if (entry.codes == codes && entry.code == code) return entry.text;
    }
    return nullptr;
}

}  // namespace kestrel
