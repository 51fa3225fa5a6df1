#include "collector/output_text.h"

#ifndef _WIN32
#include <iconv.h>

#include <cerrno>
#include <unordered_map>
#endif

namespace kestrel {

#ifdef _WIN32

std::string ToOutputText(const std::string& cp932) { return cp932; }

#else

namespace {

std::string Convert(const std::string& cp932) {
    static thread_local iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) return cp932;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string out(cp932.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(cp932.data());
    std::size_t inLeft = cp932.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) break;
        // A byte that is no CP932 character: shown as "?" rather than lost silently.
        *to++ = '?';
        --toLeft;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - toLeft);
    return out;
}

}  // namespace

std::string ToOutputText(const std::string& cp932) {
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) return cp932;
    // The same few texts (kinds, logon types, domains) come on every row.
    constexpr std::size_t kCachedTexts = 1024;
    constexpr std::size_t kCachedLength = 64;
    if (cp932.size() > kCachedLength) return Convert(cp932);
    thread_local std::unordered_map<std::string, std::string> cache;
    if (const auto found = cache.find(cp932); found != cache.end()) return found->second;
    if (cache.size() == kCachedTexts) cache.clear();
    return cache.emplace(cp932, Convert(cp932)).first->second;
}

#endif

}  // namespace kestrel
