// Settings of the loopback test servers for the server tests, read from the
// environment that the servers' env.sh exports.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// The variable's value, or "" when unset.
inline std::string TestEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// Skips the calling test when no test servers were started.
#define SKIP_WITHOUT_TEST_SERVERS()                                              \
  do {                                                                           \
    if (std::getenv("QUELBY_TEST_SERVERS") == nullptr) {                         \
      GTEST_SKIP() << "QUELBY_TEST_SERVERS is not set (source STATEDIR/env.sh)"; \
    }                                                                            \
  } while (0)
