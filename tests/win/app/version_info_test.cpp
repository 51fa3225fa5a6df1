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

class VersionInfo {
public:
    explicit VersionInfo(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) return;
        data_.resize(size);
        if (!::GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) data_.clear();
    }
    bool Found() const { return !data_.empty(); }

    // A text of the Japanese (0411), code page 932 (03a4) block; "(none)" when missing.
    std::string Text(const std::string& name) {
        const std::string key = "\\StringFileInfo\\041103a4\\" + name;
        char* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
            value == nullptr)
            return "(none)";
        return value;
    }
    template <typename T>
    const T* Block(const char* key) {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), key, &value, &length) || length < sizeof(T)) return nullptr;
        return static_cast<const T*>(value);
    }

private:
    std::vector<char> data_;
};

TEST(VersionInfo, BothProgramsCarryTheBuildsVersion) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(KESTREL_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    struct Case {
        const char* path;
        const char* fileName;
        const char* description;
    };
    for (const Case& c : {Case{KESTREL_EXE, "kestrel.exe", "Kestrel ログオン一覧"},
                          Case{KESTREL_COLLECT_EXE, "kestrel-collect.exe", "Kestrel ｺﾏﾝﾄﾞﾗｲﾝ収集"}}) {
        SCOPED_TRACE(c.fileName);
        VersionInfo info(WindowsPath(c.path));
        ASSERT_TRUE(info.Found());
        const auto* fixed = info.Block<VS_FIXEDFILEINFO>("\\");
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        for (DWORD ms : {fixed->dwFileVersionMS, fixed->dwProductVersionMS})
            EXPECT_EQ(ms, major << 16 | minor);
        for (DWORD ls : {fixed->dwFileVersionLS, fixed->dwProductVersionLS}) EXPECT_EQ(ls, patch << 16);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        const auto* language = info.Block<WORD[2]>("\\VarFileInfo\\Translation");
        ASSERT_NE(language, nullptr);
        EXPECT_EQ((*language)[0], 0x0411);
        EXPECT_EQ((*language)[1], 932);
        EXPECT_EQ(info.Text("FileVersion"), KESTREL_VERSION);
        EXPECT_EQ(info.Text("ProductVersion"), KESTREL_VERSION);
        EXPECT_EQ(info.Text("ProductName"), "Kestrel");
        EXPECT_EQ(info.Text("FileDescription"), c.description);
        EXPECT_EQ(info.Text("OriginalFilename"), c.fileName);
        EXPECT_EQ(info.Text("LegalCopyright"), "Copyright (c) 2026 The Kestrel developers");
    }
}

}  // namespace
}  // namespace kestrel::testing
