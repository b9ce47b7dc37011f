#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/last_error.h"

namespace plat {
namespace {

TEST(ErrorText, EveryListedCodeHasATextEndingInCrLf) {
  const DWORD codes[] = {0,    2,    3,    5,    8,    13,   87,   1317, 1332, 1337,
                         1722, 1753, 8418, 8439, 8453, 8524, 8545, 0x800401F3u};
  for (DWORD code : codes) {
    std::string text;
    DWORD length = FormatMessageA(code, &text);
    EXPECT_GT(length, 2u) << code;
    EXPECT_EQ(length, text.size()) << code;
    ASSERT_GE(text.size(), 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
    EXPECT_EQ(text.find('\r'), text.size() - 2) << code;  // one line
  }
}

TEST(ErrorText, DistinctMeanings) {
  std::string notFound, denied, badSid;
  FormatMessageA(2, &notFound);
  FormatMessageA(5, &denied);
  FormatMessageA(1337, &badSid);
  EXPECT_NE(notFound.find("file"), std::string::npos);
  EXPECT_NE(denied.find("denied"), std::string::npos);
  EXPECT_NE(badSid.find("security ID"), std::string::npos);
}

TEST(ErrorText, UnknownCodeHasNoText) {
  std::string text = "kept";
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(7777, &text), 0u);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(FormatMessageA(0xFFFFFFFFu, &text), 0u);
}

TEST(ErrorText, ErrnoMapsToCodesWithTexts) {
  EXPECT_EQ(ErrnoToWin32Error(ENOENT), 2u);
  EXPECT_EQ(ErrnoToWin32Error(ENOTDIR), 3u);
  EXPECT_EQ(ErrnoToWin32Error(EACCES), 5u);
  EXPECT_EQ(ErrnoToWin32Error(ENOMEM), 8u);
  EXPECT_EQ(ErrnoToWin32Error(EINVAL), 87u);
  for (int e : {0, ENOENT, ENOTDIR, EMFILE, EPERM, EISDIR, EBADF, ENOMEM, EROFS,
                EEXIST, EINVAL, ENOSPC, ENAMETOOLONG, EIO, ELOOP, EBUSY, EPIPE,
                ETIMEDOUT, ENOSYS, EXDEV}) {
    std::string text;
    EXPECT_GT(FormatMessageA(ErrnoToWin32Error(e), &text), 0u) << "errno " << e;
  }
}

}  // namespace
}  // namespace plat
