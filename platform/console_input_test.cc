#include "platform/console_input.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace plat {
namespace {

// Feeds bytes through a pipe (not a terminal) and collects every key code up
// to the end of input.
std::vector<int> Keys(const std::string& bytes) {
  int p[2];
  EXPECT_EQ(pipe(p), 0);
  EXPECT_EQ(write(p[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(p[1]);
  std::vector<int> codes;
  {
    ConsoleKeyInput input(p[0]);
    for (int i = 0; i < 64; ++i) {
      int code = input.ReadKey();
      codes.push_back(code);
      if (code < 0) break;
    }
  }
  close(p[0]);
  return codes;
}

TEST(ConsoleKeyInputTest, PlainBytesAndEndOfInput) {
  EXPECT_EQ(Keys("a\x03\xff"), (std::vector<int>{'a', 3, 255, -1}));
  EXPECT_EQ(Keys(""), (std::vector<int>{-1}));
  EXPECT_EQ(Keys("x\n"), (std::vector<int>{'x', 13, -1}));  // line end = Enter
}

TEST(ConsoleKeyInputTest, CursorAndFunctionKeysGiveTwoCodes) {
  EXPECT_EQ(Keys("\x1b[A\x1b[B\x1b[C\x1b[D"),
            (std::vector<int>{224, 'H', 224, 'P', 224, 'M', 224, 'K', -1}));
  EXPECT_EQ(Keys("\x1b[3~\x1b[5~\x1bOH"),
            (std::vector<int>{224, 'S', 224, 'I', 224, 'G', -1}));
  EXPECT_EQ(Keys("\x1bOP"), (std::vector<int>{0, 59, -1}));
}

TEST(ConsoleKeyInputTest, EscAloneOrBeforeAKey) {
  EXPECT_EQ(Keys("\x1b"), (std::vector<int>{27, -1}));
  EXPECT_EQ(Keys("\x1bq"), (std::vector<int>{27, 'q', -1}));
  EXPECT_EQ(Keys("\x1b[Z"), (std::vector<int>{0, -1}));  // unknown sequence
  EXPECT_EQ(Keys("\x1b[123456789"), (std::vector<int>{0, '9', -1}));  // cut short
}

}  // namespace
}  // namespace plat
