// The messages of a failed file operation, from the program's string table.
#include <gtest/gtest.h>

#include "framework/file_exception.h"

namespace kestrel::testing {
namespace {

TEST(FileException, EveryCauseHasItsMessageWithTheFileName) {
    const std::string name = "C:\\ﾘｽﾄ\\100%1.lst";  // a name that itself holds "%1"
    for (int cause = CFileException::genericException; cause <= CFileException::endOfFile; ++cause) {
        SCOPED_TRACE(cause);
        const std::string text = CFileException(cause, 0, name).GetErrorMessage();
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find(name), text.rfind(name));
        EXPECT_NE(text.find(name), std::string::npos);
        EXPECT_EQ(text.find("%1", text.find(name) + name.size()), std::string::npos);
    }
    EXPECT_EQ(CFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED, "a.lst").GetErrorMessage(),
              "a.lst へのｱｸｾｽは拒否されました。");
    EXPECT_EQ(CFileException(CFileException::none, 0, "a.lst").GetErrorMessage(), "");
}

}  // namespace
}  // namespace kestrel::testing
