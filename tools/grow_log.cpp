// kestrel-grow-log: a large Security log for benchmarks, made by repeating
// the chunks of a smaller one.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>

#include "evtx/layout.h"
#include "tools/log_grower.h"

namespace {

const char kUsage[] =
    "usage: kestrel-grow-log IN.evtx OUT.evtx SIZE_MB\n"
    "\n"
    "Writes OUT.evtx, a log of SIZE_MB megabytes (MiB, and the 4 KiB header),\n"
    "made of the sound chunks of IN.evtx over and over. The records keep their\n"
    "events and get new identifiers from 1 on; every checksum is recomputed.\n";

constexpr unsigned long long kMaxMegabytes = 1ull << 20;

bool ParseMegabytes(const std::string& text, unsigned long long& out) {
    if (text.empty() || text.size() > 7) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    out = std::stoull(text);
    return out > 0 && out <= kMaxMegabytes;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long megabytes = 0;
    if (argc != 4 || !ParseMegabytes(argv[3], megabytes)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string inPath = argv[1];
    const std::string outPath = argv[2];
    std::error_code ignored;
    if (std::filesystem::equivalent(inPath, outPath, ignored)) {
        std::fprintf(stderr, "kestrel-grow-log: %s would overwrite its own source\n", outPath.c_str());
        return 2;
    }
    std::FILE* in = std::fopen(inPath.c_str(), "rb");
    if (!in) {
        std::perror(inPath.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    if (!out) {
        std::perror(outPath.c_str());
        std::fclose(in);
        return 1;
    }
    const std::uint64_t chunks = megabytes * ((1u << 20) / kestrel::evtx::layout::kChunkSize);
    const kestrel::grow::GrowResult result = kestrel::grow::GrowLog(in, out, chunks);
    std::fclose(in);
    const bool closed = std::fclose(out) == 0;
    if (!result.error.empty() || !closed) {
        std::fprintf(stderr, "kestrel-grow-log: %s -> %s: %s\n", inPath.c_str(), outPath.c_str(),
                     result.error.empty() ? "cannot write the new log" : result.error.c_str());
        std::remove(outPath.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "kestrel-grow-log: %s: %llu records in %llu chunks, from %llu of the %llu chunks of %s\n",
                 outPath.c_str(), static_cast<unsigned long long>(result.records),
                 static_cast<unsigned long long>(chunks), static_cast<unsigned long long>(result.soundChunks),
                 static_cast<unsigned long long>(result.sourceChunks), inPath.c_str());
    return 0;
}
