// The password never stays in the process's command line: quelby runs against
// a scripted server that holds the bind, and while the bind waits its
// /proc/<pid>/cmdline is read; the bind the server then gets must carry the
// password all the same.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "directory/scripted_ldap_server.h"

extern char** environ;

namespace {

constexpr char kPassword[] = "S3cretPassw0rd";

// The quelby executable, built beside this test.
std::string QuelbyPath() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "quelby";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + "quelby";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Seen {
  std::string original;  // the argument area as the process was started
  std::string cmdline;   // /proc/<pid>/cmdline while the bind waited
  std::string bindName;
  std::string bindPassword;
};

class HiddenPasswordTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/quelby_hidden_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    std::remove((dir_ + "/q.cf").c_str());
    rmdir(dir_.c_str());
  }

  // Runs quelby with a simple bind against a server that holds the bind,
  // with the given extra words and environment entries.
  Seen Run(const std::vector<std::string>& words, const std::vector<std::string>& env = {}) {
    Seen seen;
    ScriptedLdapServer server({});
    server.StallBinds();
    std::vector<std::string> args = {QuelbyPath(), "-q", "-simple", "-b", "dc=x",
                                     "-h", "127.0.0.1:" + std::to_string(server.port())};
    args.insert(args.end(), words.begin(), words.end());
    for (const std::string& a : args) seen.original += a + '\0';
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText(env);
    for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
      int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
      if (chdir(dir_.c_str()) != 0) _exit(127);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    EXPECT_GT(pid, 0);
    if (pid <= 0) return seen;
    bool bound = server.WaitForBind(20000, &seen.bindName, &seen.bindPassword);
    EXPECT_TRUE(bound) << "no bind arrived from " << args[0];
    if (bound) seen.cmdline = ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
    server.ReleaseBinds();
    // The run goes on against a server with nothing to say; it is not
    // awaited for long.
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    return seen;
  }

  void WriteSwitchFile(const std::string& text) {
    std::ofstream(dir_ + "/q.cf") << text;
  }

  std::string dir_;
};

TEST_F(HiddenPasswordTest, CommandLinePasswordIsWipedWhileTheBindWaits) {
  struct Case {
    std::vector<std::string> words;
  };
  // The switch in any case or with "/", and given twice (both values go).
  const Case cases[] = {
      {{"-u", "cn=me", "-up", kPassword}},
      {{"-UP", kPassword, "-u", "cn=me"}},
      {{"-u", "cn=me", "-up", "first-Passw0rd", "/up", kPassword}},
  };
  for (const Case& c : cases) {
    Seen seen = Run(c.words);
    SCOPED_TRACE(seen.original);
    EXPECT_EQ(seen.bindName, "cn=me");
    EXPECT_EQ(seen.bindPassword, kPassword);
    // The argument area keeps its size; each value word is now all zeros.
    ASSERT_EQ(seen.cmdline.size(), seen.original.size());
    std::string expected = seen.original;
    for (const char* secret : {kPassword, "first-Passw0rd"}) {
      size_t at = expected.find(std::string(secret) + '\0');
      if (at != std::string::npos) expected.replace(at, strlen(secret), strlen(secret), '\0');
    }
    EXPECT_NE(expected, seen.original);
    EXPECT_EQ(seen.cmdline, expected);
    EXPECT_EQ(seen.cmdline.find("Passw0rd"), std::string::npos);
  }
}

TEST_F(HiddenPasswordTest, PasswordFromSwitchFileOrEnvironmentNeverReachesTheCommandLine) {
  WriteSwitchFile("-u cn=file\n-up " + std::string(kPassword) + "\n");
  Seen fromFile = Run({"-ef", "q.cf"});
  EXPECT_EQ(fromFile.bindName, "cn=file");
  EXPECT_EQ(fromFile.bindPassword, kPassword);
  EXPECT_EQ(fromFile.cmdline, fromFile.original);

  Seen fromEnv = Run({"-e"}, {"quelby-u=cn=env", "quelby-up=" + std::string(kPassword)});
  EXPECT_EQ(fromEnv.bindName, "cn=env");
  EXPECT_EQ(fromEnv.bindPassword, kPassword);
  EXPECT_EQ(fromEnv.cmdline, fromEnv.original);
  EXPECT_EQ(fromEnv.cmdline.find(kPassword), std::string::npos);
}

}  // namespace
