#include "directory/server_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EscapeServerText, ControlCharactersOnlyAreEscaped) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"ldap://dc1.t/CN=Configuration,DC=t", "ldap://dc1.t/CN=Configuration,DC=t"},
      {"line one\nfake: line", "line one\\0Afake: line"},
      {"\r\n", "\\0D\\0A"},
      {std::string("nul\0end", 7), "nul\\00end"},
      {"\x1b[2Jclear", "\\1B[2Jclear"},
      {"del\x7f", "del\\7F"},
      {"tab\tkept?", "tab\\09kept?"},
      {"DOMAIN\\user", "DOMAIN\\user"},          // a backslash stays as it is
      {"Zo\xc3\xab \xff", "Zo\xc3\xab \xff"},      // bytes above 127 stay as they are
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeServerText(c.in), c.out) << c.in;
}

}  // namespace
