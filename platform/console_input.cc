#include "platform/console_input.h"

#include <cerrno>
#include <string>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace plat {
namespace {

// The terminal state to put back if a signal ends the process while keys are
// read unechoed. Only one reader is active at a time in this program.
volatile sig_atomic_t g_restoreFd = -1;
termios g_restoreModes;
constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
struct sigaction g_oldActions[sizeof(kSignals) / sizeof(kSignals[0])];

void RestoreAndReraise(int sig) {
  if (g_restoreFd >= 0) tcsetattr(g_restoreFd, TCSANOW, &g_restoreModes);
  for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
    if (kSignals[i] == sig) sigaction(sig, &g_oldActions[i], nullptr);
  }
  raise(sig);
}

// Ms to wait for the rest of an escape sequence after an Esc byte.
constexpr int kSequenceWaitMs = 30;

}  // namespace

ConsoleKeyInput::ConsoleKeyInput() {
  if (isatty(STDIN_FILENO)) {
    Init(STDIN_FILENO);
    return;
  }
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty >= 0) {
    ownsFd_ = true;
    Init(tty);
    return;
  }
  Init(STDIN_FILENO);
}

ConsoleKeyInput::ConsoleKeyInput(int fd) { Init(fd); }

void ConsoleKeyInput::Init(int fd) {
  fd_ = fd;
  if (tcgetattr(fd_, &saved_) != 0) return;
  termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  g_restoreModes = saved_;
  g_restoreFd = fd_;
  struct sigaction action {};
  action.sa_handler = RestoreAndReraise;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
    sigaction(kSignals[i], &action, &g_oldActions[i]);
  }
  if (tcsetattr(fd_, TCSANOW, &raw) != 0) {
    g_restoreFd = -1;
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
      sigaction(kSignals[i], &g_oldActions[i], nullptr);
    }
    return;
  }
  isTerminal_ = true;
}

ConsoleKeyInput::~ConsoleKeyInput() {
  if (isTerminal_) {
    tcsetattr(fd_, TCSANOW, &saved_);
    g_restoreFd = -1;
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
      sigaction(kSignals[i], &g_oldActions[i], nullptr);
    }
  }
  if (ownsFd_) close(fd_);
}

// One byte; -1 at end of input or error, -2 when timeoutMs (>= 0) passes.
int ConsoleKeyInput::ReadByte(int timeoutMs) {
  if (timeoutMs >= 0) {
    pollfd p{fd_, POLLIN, 0};
    int ready;
    do {
      ready = poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return -2;
  }
  unsigned char byte;
  ssize_t n;
  do {
    n = read(fd_, &byte, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? byte : -1;
}

int ConsoleKeyInput::ReadKey() {
  if (!pending_.empty()) {
    int code = pending_.front();
    pending_.pop_front();
    return code;
  }
  int byte = ReadByte(-1);
  // Keys as the platform's console reports them: Backspace is 8 (terminals
  // send their erase character, usually DEL), and a line end read from a
  // pipe is Enter (13).
  if (isTerminal_ && byte > 0 && byte == saved_.c_cc[VERASE]) return 8;
  if (!isTerminal_ && byte == '\n') return 13;
  if (byte != 27) return byte;

  // Esc alone, or the start of a cursor or function key sequence.
  int next = ReadByte(kSequenceWaitMs);
  if (next < 0) return 27;
  if (next != '[' && next != 'O') {
    pending_.push_back(next);  // Esc, then an ordinary key
    return 27;
  }
  // Collect the sequence up to its final byte (a letter or '~').
  std::string body;
  int last = -1;
  while (body.size() < 8) {
    last = ReadByte(kSequenceWaitMs);
    if (last < 0) break;
    if ((last >= 'A' && last <= 'Z') || (last >= 'a' && last <= 'z') || last == '~') break;
    body.push_back(static_cast<char>(last));
  }
  int code = -1;
  bool function = false;
  switch (last) {
    case 'A': code = 'H'; break;  // up
    case 'B': code = 'P'; break;  // down
    case 'C': code = 'M'; break;  // right
    case 'D': code = 'K'; break;  // left
    case 'H': code = 'G'; break;  // home
    case 'F': code = 'O'; break;  // end
    case 'P': code = 59; function = true; break;  // F1
    case 'Q': code = 60; function = true; break;  // F2
    case 'R': code = 61; function = true; break;  // F3
    case 'S': code = 62; function = true; break;  // F4
    case '~':
      if (body == "1" || body == "7") code = 'G';
      if (body == "4" || body == "8") code = 'O';
      if (body == "2") code = 'R';  // insert
      if (body == "3") code = 'S';  // delete
      if (body == "5") code = 'I';  // page up
      if (body == "6") code = 'Q';  // page down
      break;
    default:
      break;
  }
  if (code < 0) return 0;
  pending_.push_back(code);
  return function ? 0 : 224;
}

}  // namespace plat
