// kestrel-collect over a simulated site of many computers reached over the
// network, in this process: every call of the event-log service answers after
// a set latency, every tenth computer (or as told) never answers, and message
// modules take their time to load. Prints how long the run took, its rows and
// what the calls themselves need at the run's concurrency.
// Usage: kestrel-site-run [--computers N] [--call-ms M] [--dead-every K]
//        [--events E] [--module-ms L] [--per-event] [--out FILE] -- [kestrel-collect options]
// --per-event loads the message modules for each event, as the window does;
// --out writes the output to FILE and the run report to FILE.report.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "collector/collect_main.h"
#include "platform/native/native_services.h"
#include "tests/fakes/simulated_site.h"

namespace {

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Counts the lines it is given and hands them on, if there is where to.
class CountingBuffer final : public std::streambuf {
public:
    explicit CountingBuffer(std::streambuf* next) : next_(next) {}
    std::size_t lines = 0;

protected:
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        for (std::streamsize i = 0; i < size; ++i) lines += text[i] == '\n';
        return next_ != nullptr ? next_->sputn(text, size) : size;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        lines += c == '\n';
        return next_ != nullptr ? next_->sputc(traits_type::to_char_type(c)) : c;
    }
    int sync() override { return next_ != nullptr ? next_->pubsync() : 0; }

private:
    std::streambuf* next_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrel;
    using namespace kestrel::testing;
    SiteShape shape;
    shape.computers = 2000;
    shape.callMs = 20;
    shape.deadEvery = 10;
    shape.events = 200;
    bool perEvent = false;
    std::string outFile;
    std::vector<std::string> options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&] { return i + 1 < argc ? std::strtoull(argv[++i], nullptr, 10) : 0; };
        if (a == "--computers")
            shape.computers = number();
        else if (a == "--call-ms")
            shape.callMs = static_cast<std::uint32_t>(number());
        else if (a == "--dead-every")
            shape.deadEvery = number();
        else if (a == "--events")
            shape.events = static_cast<std::uint32_t>(number());
        else if (a == "--module-ms")
            shape.moduleLoadMs = static_cast<std::uint32_t>(number());
        else if (a == "--per-event")
            perEvent = true;
        else if (a == "--out" && i + 1 < argc)
            outFile = argv[++i];
        else if (a == "--")
            options.assign(argv + i + 1, argv + argc), i = argc;
        else
            return std::fprintf(stderr, "kestrel-site-run: unknown option %s\n", a.c_str()), 2;
    }
    for (std::size_t k = 0; k < shape.computers; ++k) options.push_back(SiteComputer(k));
    options.insert(options.end(), {"--from", "2024-03-01", "--no-progress"});

    HeapMemory memory;
    NativeErrors errors;
    NativeSystemTime systemTime(errors);
    NativeFatalStop fatal;
    SimulatedRegistry registry;
    SimulatedModules modules(shape, memory, errors);
    SimulatedEventLog log(shape, errors);
    CollectEnvironment environment{shape.end, "", &log, memory, errors, systemTime, fatal, registry, modules};
    environment.keepModulesLoaded = !perEvent;
    std::ofstream file;
    if (!outFile.empty()) file.open(outFile, std::ios::binary);
    CountingBuffer counted(outFile.empty() ? nullptr : file.rdbuf());
    std::ostream out(&counted);
    std::ostringstream err;
    const double start = Seconds();
    const int code = RunCollector(options, environment, out, err);
    const double seconds = Seconds() - start;
    out.flush();
    if (!outFile.empty()) std::ofstream(outFile + ".report", std::ios::binary) << err.str();
    if (code == 2) return std::fprintf(stderr, "%s", err.str().c_str()), 2;  // the options were refused
    std::printf(
        "exit code %d, %.2f s, %zu lines out, %.0f rows/s, %llu module loads; the answering computers' "
        "calls one after another: %.1f s\n",
        code, seconds, counted.lines, static_cast<double>(counted.lines) / seconds,
        static_cast<unsigned long long>(modules.loads.load()),
        static_cast<double>(log.AnsweringCallsMs()) / 1000);
    std::fflush(stdout);
    std::_Exit(0);  // calls that never answer still wait
}
