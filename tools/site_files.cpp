#include "tools/site_files.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "computers/list_file.h"

namespace kestrel::sample {

bool WriteWholeFile(const std::filesystem::path& path, const std::string& data, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool WriteSiteFiles(const Site& site, const std::filesystem::path& out, std::string& error) {
    for (const auto& log : site.logs) {
        std::error_code made;
        std::filesystem::create_directories(out / log.name, made);
        if (made) {
            error = "cannot make " + (out / log.name).string() + ": " + made.message();
            return false;
        }
        const std::vector<std::uint8_t> evtx = WriteSecurityLog(log.fullName, log.events);
        if (evtx.empty()) {
            error = "the events of " + log.name + " do not make a log";
            return false;
        }
        const std::string bytes(evtx.begin(), evtx.end());
        if (!WriteWholeFile(out / log.name / "Security.evtx", bytes, error)) return false;
    }

    if (!site.forwarding.collector.empty()) {
        const std::vector<std::uint8_t> forwarded = WriteForwardedLog(ForwardedLog(site));
        const std::filesystem::path folder = out / site.forwarding.collector;
        std::error_code made;
        std::filesystem::create_directories(folder, made);
        if (forwarded.empty() || made) {
            error = "cannot make the ForwardedEvents log of " + site.forwarding.collector;
            return false;
        }
        const std::string bytes(forwarded.begin(), forwarded.end());
        if (!WriteWholeFile(folder / "ForwardedEvents.evtx", bytes, error)) return false;
    }

    StdListFileSystem files;
    const std::filesystem::path list = out / "site.lst";
    const SaveResult saved = SaveListFile(files, list.string(), site.listNames);
    if (!saved.Ok()) {
        error = "cannot write " + list.string() + ": " + std::strerror(saved.error);
        return false;
    }
    return WriteWholeFile(out / "expected_rows.csv", RowsCsv(ExpectedRows(site)), error);
}

}  // namespace kestrel::sample
