#include "collector/output_text.h"

#ifndef _WIN32
#include <iconv.h>

#include <cerrno>
#include <functional>
#include <unordered_map>
#endif

namespace kestrel {

#ifdef _WIN32

void AppendOutputText(std::string_view cp932, std::string& out) { out += cp932; }

#else

namespace {

// One converter a thread, closed when the thread ends (jobs end theirs).
class Iconv {
public:
    Iconv() : handle_(iconv_open("UTF-8", "CP932")) {}
    ~Iconv() {
        if (Valid()) iconv_close(handle_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return handle_; }

private:
    iconv_t handle_;
};

void Convert(std::string_view cp932, std::string& out) {
    static thread_local Iconv iconvCp932;
    const iconv_t converter = iconvCp932.Handle();
    if (!iconvCp932.Valid()) {
        out += cp932;
        return;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const std::size_t start = out.size();
    out.resize(start + cp932.size() * 3 + 4);
    char* in = const_cast<char*>(cp932.data());
    std::size_t inLeft = cp932.size();
    char* to = out.data() + start;
    std::size_t toLeft = out.size() - start;
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
}

// Looked up by a view, without making a string of it first.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

}  // namespace

void AppendOutputText(std::string_view cp932, std::string& out) {
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) {
        out += cp932;
        return;
    }
    // The same few texts (kinds, logon types, domains) come on every row.
    constexpr std::size_t kCachedTexts = 1024;
    constexpr std::size_t kCachedLength = 64;
    if (cp932.size() > kCachedLength) {
        Convert(cp932, out);
        return;
    }
    thread_local std::unordered_map<std::string, std::string, TextHash, std::equal_to<> > cache;
    auto found = cache.find(cp932);
    if (found == cache.end()) {
        if (cache.size() == kCachedTexts) cache.clear();
        std::string converted;
        Convert(cp932, converted);
        found = cache.emplace(std::string(cp932), std::move(converted)).first;
    }
    out += found->second;
}

#endif

std::string ToOutputText(const std::string& cp932) {
    std::string out;
    AppendOutputText(cp932, out);
    return out;
}

}  // namespace kestrel
