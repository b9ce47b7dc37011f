#include "common/console_services.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/sid.h"

namespace {

enum class Ending { kByKeys, kHangup, kTerminate };

struct PromptRun {
  std::string screen;    // everything the child wrote to the terminal
  bool result = false;
  std::string password;
  bool reported = false;  // the child returned from the prompt and reported
  bool echoBack = false;  // terminal modes after the child finished
  bool canonicalBack = false;
  bool signalsBack = false;
};

// Reads what is available on fd into out, waiting up to timeoutMs for the
// first byte; returns false at end of file.
bool Drain(int fd, std::string* out, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return true;
  char buf[256];
  ssize_t n = read(fd, buf, sizeof buf);
  if (n <= 0) return false;
  out->append(buf, static_cast<size_t>(n));
  return true;
}

// Runs PromptPassword in a child whose terminal is a pseudo-terminal, types
// the chunks (pausing between them), and collects what happened.
PromptRun RunOnTerminal(const std::vector<std::string>& chunks, Ending ending) {
  PromptRun run;
  int report[2];
  if (pipe(report) != 0) return run;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    close(report[0]);
    if (ending == Ending::kHangup) signal(SIGHUP, SIG_IGN);
    std::string password;
    bool result = PromptPassword(&password);
    std::string message = (result ? "1" : "0") + password;
    if (write(report[1], message.data(), message.size()) < 0) _exit(2);
    _exit(0);
  }
  close(report[1]);
  if (pid < 0) return run;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (run.screen.find("Enter Password: ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    if (!Drain(master, &run.screen, 100)) break;
  }
  for (const std::string& chunk : chunks) {
    if (write(master, chunk.data(), chunk.size()) < 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    Drain(master, &run.screen, 0);
  }
  if (ending == Ending::kHangup) {
    close(master);
    master = -1;
  } else if (ending == Ending::kTerminate) {
    kill(pid, SIGTERM);
  }
  // The child ends within the deadline or the test fails.
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (master >= 0) Drain(master, &run.screen, 20);
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (master >= 0) {
    while (Drain(master, &run.screen, 20) && run.screen.size() < 4096) {
    }
    termios modes{};
    if (tcgetattr(master, &modes) == 0) {
      run.echoBack = (modes.c_lflag & ECHO) != 0;
      run.canonicalBack = (modes.c_lflag & ICANON) != 0;
      run.signalsBack = (modes.c_lflag & ISIG) != 0;
    }
    close(master);
  }
  char buf[256];
  ssize_t n = read(report[0], buf, sizeof buf);
  close(report[0]);
  if (n >= 1) {
    run.reported = true;
    run.result = buf[0] == '1';
    run.password.assign(buf + 1, static_cast<size_t>(n - 1));
  }
  return run;
}

TEST(PromptPasswordTerminal, TypedTextReturnedWithoutEcho) {
  PromptRun run = RunOnTerminal({"ab", "\x7f", "c", "\r"}, Ending::kByKeys);
  ASSERT_TRUE(run.reported);
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.password, "ac");
  EXPECT_EQ(run.screen, "Enter Password: ..\b \b.\r\n");
  EXPECT_TRUE(run.echoBack);
  EXPECT_TRUE(run.canonicalBack);
  EXPECT_TRUE(run.signalsBack);
}

TEST(PromptPasswordTerminal, CtrlCAndEscAbandonKeepingText) {
  PromptRun ctrlC = RunOnTerminal({"xy", "\x03"}, Ending::kByKeys);
  ASSERT_TRUE(ctrlC.reported);
  EXPECT_FALSE(ctrlC.result);
  EXPECT_EQ(ctrlC.password, "xy");
  EXPECT_EQ(ctrlC.screen, "Enter Password: ..\r\n");
  EXPECT_TRUE(ctrlC.echoBack);
  EXPECT_TRUE(ctrlC.canonicalBack);

  PromptRun esc = RunOnTerminal({"\x1b"}, Ending::kByKeys);
  ASSERT_TRUE(esc.reported);
  EXPECT_FALSE(esc.result);
  EXPECT_EQ(esc.password, "");
  EXPECT_TRUE(esc.echoBack);
}

TEST(PromptPasswordTerminal, BellsForKeysThatAddNothing) {
  // Backspace on empty, Tab, a byte above 126, then the up arrow, which adds
  // the character of its second code.
  PromptRun run = RunOnTerminal({"\x7f", "\t", "\xc3", "\x1b[A", "\r"}, Ending::kByKeys);
  ASSERT_TRUE(run.reported);
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.password, "H");
  EXPECT_EQ(run.screen, "Enter Password: \a\a\a\a.\r\n");
}

TEST(PromptPasswordTerminal, HangupEndsThePrompt) {
  PromptRun run = RunOnTerminal({"abc"}, Ending::kHangup);
  ASSERT_TRUE(run.reported);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.password, "abc");
}

TEST(PromptPasswordTerminal, TerminatingSignalRestoresTerminal) {
  PromptRun run = RunOnTerminal({"abc"}, Ending::kTerminate);
  EXPECT_FALSE(run.reported);  // the signal ended the child
  EXPECT_TRUE(run.echoBack);
  EXPECT_TRUE(run.canonicalBack);
  EXPECT_TRUE(run.signalsBack);
}

// Runs the prompt with standard input from a pipe and no terminal at all.
PromptRun RunOnPipe(const std::string& input) {
  PromptRun run;
  int in[2], out[2], report[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(report) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    close(in[1]);
    close(out[0]);
    close(report[0]);
    std::string password;
    bool result = PromptPassword(&password);
    std::string message = (result ? "1" : "0") + password;
    if (write(report[1], message.data(), message.size()) < 0) _exit(2);
    _exit(0);
  }
  close(in[0]);
  close(out[1]);
  close(report[1]);
  if (write(in[1], input.data(), input.size()) < 0) return run;
  close(in[1]);  // end of input
  while (Drain(out[0], &run.screen, 5000)) {
  }
  int status = 0;
  waitpid(pid, &status, 0);
  char buf[256];
  ssize_t n = read(report[0], buf, sizeof buf);
  if (n >= 1) {
    run.reported = true;
    run.result = buf[0] == '1';
    run.password.assign(buf + 1, static_cast<size_t>(n - 1));
  }
  close(out[0]);
  close(report[0]);
  return run;
}

TEST(PromptPasswordPipe, EndOfInputAbandonsLineEndAccepts) {
  PromptRun eof = RunOnPipe("pw");
  ASSERT_TRUE(eof.reported);
  EXPECT_FALSE(eof.result);
  EXPECT_EQ(eof.password, "pw");
  EXPECT_EQ(eof.screen, "Enter Password: ..\n");

  PromptRun line = RunOnPipe("secret\nrest");
  ASSERT_TRUE(line.reported);
  EXPECT_TRUE(line.result);
  EXPECT_EQ(line.password, "secret");

  PromptRun empty = RunOnPipe("");
  ASSERT_TRUE(empty.reported);
  EXPECT_FALSE(empty.result);
  EXPECT_EQ(empty.password, "");
}

TEST(Win32ErrorText, KnownAndUnknownCodes) {
  EXPECT_NE(GetWin32ErrorText(2).find("file"), std::string::npos);
  EXPECT_EQ(GetWin32ErrorText(2).substr(GetWin32ErrorText(2).size() - 2), "\r\n");
  EXPECT_EQ(GetWin32ErrorText(7777), "Unknown Error\n");
}

TEST(Win32ErrorText, PrintShowsLabelCodeAndText) {
  testing::internal::CaptureStdout();
  DWORD code = PrintWin32Error("ERROR (ConvertStringSidToSid): ", 1337);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 1337u);
  EXPECT_EQ(printed, "ERROR (ConvertStringSidToSid): (1337) " + GetWin32ErrorText(1337));

  testing::internal::CaptureStdout();
  EXPECT_EQ(PrintWin32Error("X:", 0x800401F3u), 0x800401F3u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "X:(2147746291) " + GetWin32ErrorText(0x800401F3u));
}

std::vector<BYTE> Sid(const char* text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(plat::ConvertStringSidToSidA(text, &sid));
  return sid;
}

std::string g_askedServer;
int g_lookups = 0;

int FakeDirectory(const std::string& server, const void* sid, std::string* domain,
                  std::string* name) {
  ++g_lookups;
  g_askedServer = server;
  std::string text;
  plat::ConvertSidToStringSidA(sid, &text);
  if (text == "S-1-5-21-1-2-3-512") {
    *domain = "ACC";
    *name = "Domain Admins";
    return 1;
  }
  if (text == "S-1-5-21-1-2-3-1105") {
    *domain = "";
    *name = "orphan";
    return 1;
  }
  return 0;
}

TEST(SidToAccountNameTest, WellKnownNames) {
  std::string out;
  EXPECT_EQ(SidToAccountName("", Sid("S-1-5-32-544").data(), &out), 1);
  EXPECT_EQ(out, "BUILTIN\\Administrators");
  EXPECT_EQ(SidToAccountName("", Sid("WD").data(), &out), 1);
  EXPECT_EQ(out, "Everyone");  // empty domain: the bare name
  EXPECT_EQ(SidToAccountName("dc1", Sid("SY").data(), &out), 1);
  EXPECT_EQ(out, "NT AUTHORITY\\SYSTEM");
}

TEST(SidToAccountNameTest, UnknownOrInvalidLeavesOutUnchanged) {
  std::string out = "kept";
  EXPECT_EQ(SidToAccountName("", Sid("S-1-5-21-1-2-3-512").data(), &out), 0);
  std::vector<BYTE> bad = {3, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  EXPECT_EQ(SidToAccountName("", bad.data(), &out), 0);
  EXPECT_EQ(SidToAccountName("", nullptr, &out), 0);
  EXPECT_EQ(out, "kept");
}

TEST(SidToAccountNameTest, DirectoryLookupAfterWellKnownTable) {
  SidAccountLookup previous = SetSidAccountLookup(FakeDirectory);
  g_lookups = 0;
  std::string out;
  EXPECT_EQ(SidToAccountName("dc1.acc.test", Sid("S-1-5-21-1-2-3-512").data(), &out), 1);
  EXPECT_EQ(out, "ACC\\Domain Admins");
  EXPECT_EQ(g_askedServer, "dc1.acc.test");
  EXPECT_EQ(SidToAccountName("", Sid("S-1-5-21-1-2-3-1105").data(), &out), 1);
  EXPECT_EQ(out, "orphan");
  out = "kept";
  EXPECT_EQ(SidToAccountName("", Sid("S-1-5-21-9-9-9-500").data(), &out), 0);
  EXPECT_EQ(out, "kept");
  int before = g_lookups;
  EXPECT_EQ(SidToAccountName("", Sid("BA").data(), &out), 1);
  EXPECT_EQ(g_lookups, before);  // well-known SIDs never reach the directory
  EXPECT_EQ(SetSidAccountLookup(previous), FakeDirectory);
}

}  // namespace
