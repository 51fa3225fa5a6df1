#include "framework/clipboard.h"

#include <cstring>
#include <string>

namespace kestrel {
namespace {

// A moveable global block holding bytes, for the clipboard.
HGLOBAL GlobalCopy(const void* bytes, std::size_t size) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr) return nullptr;
    void* data = ::GlobalLock(block);
    if (data == nullptr) {
        ::GlobalFree(block);
        return nullptr;
    }
    std::memcpy(data, bytes, size);
    ::GlobalUnlock(block);
    return block;
}

}  // namespace

bool CopyTextToClipboard(HWND owner, std::string_view cp932) {
    const std::string text(cp932);
    const int wideSize = ::MultiByteToWideChar(932, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize > 0 ? wideSize : 1), L'\0');
    if (wideSize > 0) ::MultiByteToWideChar(932, 0, text.c_str(), -1, wide.data(), wideSize);
    if (!::OpenClipboard(owner)) return false;
    ::EmptyClipboard();
    // The clipboard owns a block once it took it.
    if (HGLOBAL ansi = GlobalCopy(text.c_str(), text.size() + 1); ansi != nullptr) {
        if (::SetClipboardData(CF_TEXT, ansi) == nullptr) ::GlobalFree(ansi);
    }
    if (HGLOBAL unicode = GlobalCopy(wide.c_str(), wide.size() * sizeof(wchar_t)); unicode != nullptr) {
        if (::SetClipboardData(CF_UNICODETEXT, unicode) == nullptr) ::GlobalFree(unicode);
    }
    ::CloseClipboard();
    return true;
}

}  // namespace kestrel
