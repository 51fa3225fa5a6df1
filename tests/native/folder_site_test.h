#pragma once
// A rig of the native tests: kestrel-collect over exported logs in a folder
// of its own, with the program's native services.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "collector/collect_main.h"
#include "platform/native/native_messages.h"
#include "platform/native/native_services.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {

class FolderSiteTest : public ::testing::Test {
protected:
    ~FolderSiteTest() override { std::filesystem::remove_all(site_); }

    int RunCollector(const std::vector<std::string>& arguments, std::string& out, std::string& err) {
        CollectEnvironment environment{Local(2013, 6, 5, 15), "",     nullptr,   memory_, errors_,
                                       systemTime_,           fatal_, registry_, modules_};
        std::ostringstream o, e;
        const int code = kestrel::RunCollector(arguments, environment, o, e);
        out = o.str();
        err = e.str();
        return code;
    }

    TimeZone zone_{"Asia/Tokyo"};
    // Its own per process: ctest runs these tests side by side.
    std::filesystem::path site_ =
        std::filesystem::temp_directory_path() / ("kestrel_exported_site_" + std::to_string(::getpid()));
    HeapMemory memory_;
    NativeErrors errors_;
    NativeSystemTime systemTime_{errors_};
    NativeFatalStop fatal_;
    NoRegistry registry_;
    NoMessageModules modules_{errors_};
};

}  // namespace kestrel::testing
