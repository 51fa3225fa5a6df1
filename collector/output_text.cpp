#include "collector/output_text.h"

#ifndef _WIN32
#include <iconv.h>

#include <cerrno>
#endif

namespace kestrel {

#ifdef _WIN32

std::string ToOutputText(const std::string& cp932) { return cp932; }

#else

std::string ToOutputText(const std::string& cp932) {
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) return cp932;

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

#endif

}  // namespace kestrel
