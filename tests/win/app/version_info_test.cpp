// The version resource of both programs as Windows reads it (Explorer's
// properties of the file): the build's version, in the fixed part and in the
// texts, and the Japanese texts in code page 932.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/win/app/app_support.h"

namespace kestrel::testing {
namespace {

// A text of the Japanese (0411), code page 932 (03a4) block; "(none)" when missing.
std::string VersionText(const std::vector<char>& info, const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = "\\StringFileInfo\\041103a4\\" + name;
    if (!::VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "(none)";
    return value;
}

// The texts scripts/check-package reads from the files too; here, the fixed
// numbers and the Japanese description as Windows hands them to Explorer.
TEST(VersionInfo, BothProgramsCarryTheBuildsVersion) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(KESTREL_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    for (const auto& [path, description] : {std::pair{KESTREL_EXE, "Kestrel ログオン一覧"},
                                            std::pair{KESTREL_COLLECT_EXE, "Kestrel ｺﾏﾝﾄﾞﾗｲﾝ収集"}}) {
        SCOPED_TRACE(path);
        DWORD ignored = 0;
        std::vector<char> info(::GetFileVersionInfoSizeA(WindowsPath(path).c_str(), &ignored));
        ASSERT_FALSE(info.empty());
        ASSERT_TRUE(::GetFileVersionInfoA(WindowsPath(path).c_str(), 0, static_cast<DWORD>(info.size()),
                                          info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(std::vector<DWORD>({fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                      fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
                  std::vector<DWORD>({major << 16 | minor, patch << 16, major << 16 | minor, patch << 16}));
        WORD* language = nullptr;  // Explorer shows the block the translation names
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                                     reinterpret_cast<void**>(&language), &length));
        EXPECT_EQ(language[0] << 16 | language[1], 0x0411 << 16 | 932);
        EXPECT_EQ(VersionText(info, "FileVersion") + "|" + VersionText(info, "FileDescription"),
                  std::string(KESTREL_VERSION) + "|" + description);
    }
}

}  // namespace
}  // namespace kestrel::testing
