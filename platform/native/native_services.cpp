#include "platform/native/native_services.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win32_errors.h"

namespace kestrel {
namespace {

thread_local std::uint32_t lastError = 0;

struct KnownText {
    std::uint32_t code;
    const char* text;
};

// The system's texts for the errors the portable code can meet.
constexpr KnownText kTexts[] = {
    {kErrorSuccess, "この操作を正しく終了しました。\r\n"},
    {kErrorFileNotFound, "指定されたファイルが見つかりません。\r\n"},
    {kErrorPathNotFound, "指定されたパスが見つかりません。\r\n"},
    {kErrorAccessDenied, "アクセスが拒否されました。\r\n"},
    {kErrorInvalidHandle, "ハンドルが無効です。\r\n"},
    {kErrorNotEnoughMemory, "このコマンドを実行するのに十分な記憶域がありません。\r\n"},
    {kErrorHandleEof, "ファイルの終わりに達しました。\r\n"},
    {kErrorInvalidParameter, "パラメーターが間違っています。\r\n"},
    {kErrorInsufficientBuffer, "システム コールに渡されるデータ領域が小さすぎます。\r\n"},
    {kErrorModNotFound, "指定されたモジュールが見つかりません。\r\n"},
    {kErrorMrMidNotFound,
     "メッセージ番号 0x%1 のメッセージ テキストが %2 のメッセージ ファイルに見つかりません。\r\n"},
    {kErrorTimeout, "このオペレーションはタイムアウト期間が過ぎたため完了しませんでした。\r\n"},
    {kErrorEventlogFileCorrupt, "イベント ログ ファイルが壊れています。\r\n"},
    {kErrorEventlogFileChanged, "イベント ログ ファイルが読み取り操作の間に変更されました。\r\n"},
    {kRpcServerUnavailable, "RPC サーバーを利用できません。\r\n"},
};

}  // namespace

void* HeapMemory::AllocateZeroed(std::size_t bytes) { return std::calloc(1, bytes); }

bool HeapMemory::Release(void* block) {
    std::free(block);
    return true;
}

std::uint32_t NativeErrors::LastError() { return lastError; }

void NativeErrors::SetLastError(std::uint32_t code) { lastError = code; }

std::string NativeErrors::SystemText(std::uint32_t code) {
    for (const KnownText& known : kTexts) {
        if (known.code == code) return known.text;
    }
    return UnknownErrorText(code);
}

bool NativeSystemTime::ToFileTime(const SystemTime& time) {
    if (IsValidSystemTime(time)) return true;
    errors_.SetLastError(kErrorInvalidParameter);
    return false;
}

void NativeFatalStop::Stop(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::exit(1);
}

}  // namespace kestrel
