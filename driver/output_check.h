// Standard output that cannot be written (a full disk, an I/O error, a closed
// descriptor) ends the run instead of passing for success: the failure is
// said once on standard error with the system's reason, the run stops and
// its exit code becomes kUnwritableOutputCode. A pipe closed by its reader
// ends the run without a word and leaves the exit code alone (unless SIGPIPE
// is ignored or blocked, the system ends the process at that write first).
#pragma once

#include <streambuf>

// The exit code of a run whose output could not be written. No LDAP result,
// Windows code or signal of a run gives it.
inline constexpr int kUnwritableOutputCode = 254;

// Watches std::cout for as long as it lives: every write goes on to the
// stream buffer std::cout had (so into stdout's buffer, as before), and the
// reason of the first write that fails is kept, since later calls of the
// run may change errno before the failure is checked.
class OutputWatch : private std::streambuf {
 public:
  OutputWatch();
  ~OutputWatch() override;
  OutputWatch(const OutputWatch&) = delete;
  OutputWatch& operator=(const OutputWatch&) = delete;

 private:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char_type* s, std::streamsize n) override;
  int sync() override;

  std::streambuf* target_;
};

// Whether standard output has failed to take what was written to it. Cheap:
// a look at the stream's error flag, made after each entry and page. The
// first failure seen is said on standard error ("ERROR: Couldn't write to
// standard output: " and the reason), a closed pipe excepted.
bool OutputFailed();

// The last check of a run: flushes standard output, then gives
// kUnwritableOutputCode when it could not be written, else resultCode.
int FinishOutput(int resultCode);
