#pragma once
// The files of a sample site: <out>/<computer>/Security.evtx for each log, the
// collector's <out>/<collector>/ForwardedEvents.evtx, the computer list
// <out>/site.lst and the rows the table shows, <out>/expected_rows.csv.
#include <filesystem>
#include <string>

#include "tools/sample_site.h"

namespace kestrel::sample {

// Makes out if missing and replaces the files in it. On failure returns false
// with what went wrong in error.
bool WriteSiteFiles(const Site& site, const std::filesystem::path& out, std::string& error);

// Writes data to path, replacing it.
bool WriteWholeFile(const std::filesystem::path& path, const std::string& data, std::string& error);

}  // namespace kestrel::sample
