#include "driver/output_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

enum class OutputState { kWritable, kPipeClosed, kUnwritable };
OutputState g_OutputState = OutputState::kWritable;
int g_FailedWriteReason = 0;  // errno of the first failed write of std::cout

void KeepReason() {
  if (g_FailedWriteReason == 0) g_FailedWriteReason = errno;
}

}  // namespace

OutputWatch::OutputWatch() : target_(std::cout.rdbuf(this)) {}

OutputWatch::~OutputWatch() { std::cout.rdbuf(target_); }

OutputWatch::int_type OutputWatch::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const int_type written = target_->sputc(traits_type::to_char_type(c));
  if (traits_type::eq_int_type(written, traits_type::eof())) KeepReason();
  return written;
}

std::streamsize OutputWatch::xsputn(const char_type* s, std::streamsize n) {
  const std::streamsize written = target_->sputn(s, n);
  if (written < n) KeepReason();
  return written;
}

int OutputWatch::sync() {
  const int result = target_->pubsync();
  if (result != 0) KeepReason();
  return result;
}

bool OutputFailed() {
  if (g_OutputState != OutputState::kWritable) return true;
  // Taken before any other call: a write that failed in the C functions
  // left its reason in errno.
  int reason = g_FailedWriteReason != 0 ? g_FailedWriteReason : errno;
  // The C++ streams write into the C library's stdout buffer (their
  // synchronisation with stdio is never switched off), so its error flag
  // covers all output.
  if (!std::ferror(stdout)) return false;
  // Whatever the buffer still holds is tried once more, so that a reason
  // not kept is that of a write made now whenever there is one to make.
  errno = 0;
  if (std::fflush(stdout) != 0 && errno != 0 && g_FailedWriteReason == 0) reason = errno;
  if (reason == EPIPE) {
    g_OutputState = OutputState::kPipeClosed;
    return true;
  }
  g_OutputState = OutputState::kUnwritable;
  std::cerr << "ERROR: Couldn't write to standard output: " << std::strerror(reason) << "\n";
  return true;
}

int FinishOutput(int resultCode) {
  std::fflush(stdout);
  OutputFailed();
  return g_OutputState == OutputState::kUnwritable ? kUnwritableOutputCode : resultCode;
}
