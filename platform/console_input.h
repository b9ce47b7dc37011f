// Key input from the console without echo, one key code per read, in the
// manner of the C runtime's getch: the terminal is switched to unechoed,
// unbuffered input while the reader lives and restored when it goes (and on
// a terminating signal meanwhile).
#pragma once

#include <deque>

#include <termios.h>

namespace plat {

class ConsoleKeyInput {
 public:
  // Reads from standard input when it is a terminal, else from the
  // controlling terminal, else from standard input as it is (a pipe).
  ConsoleKeyInput();
  // Reads from the given descriptor (switching it to raw mode when it is a
  // terminal); the descriptor stays open.
  explicit ConsoleKeyInput(int fd);
  ~ConsoleKeyInput();
  ConsoleKeyInput(const ConsoleKeyInput&) = delete;
  ConsoleKeyInput& operator=(const ConsoleKeyInput&) = delete;

  // One key code 0-255, or -1 at end of input. Ctrl+C arrives as 3, a lone
  // Esc as 27, Enter as 13 (so does a line feed read from a pipe) and the
  // terminal's erase key as 8. Cursor and function keys arrive as two codes, like the
  // platform's: 224 then the key's code (up arrow: 224, 'H'), or 0 then the
  // code for F1-F4; any other escape sequence arrives as the single code 0.
  int ReadKey();

 private:
  void Init(int fd);
  int ReadByte(int timeoutMs);

  int fd_ = -1;
  bool ownsFd_ = false;
  bool isTerminal_ = false;
  termios saved_{};
  std::deque<int> pending_;
};

}  // namespace plat
