// For tests of the replication-record phases: the run's settings that the
// phases read, set to known values for each test and restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/process_state.h"

class ReplicationPhaseTest : public testing::Test {
 protected:
  void SetUp() override {
    g_Utc = true;
    g_MetaSortKey = "attrib";
    g_MvFilterOn = g_MvNotFilterOn = g_MvFilterCaseSensitive = false;
    g_MvFilterMap.clear();
    g_MvNotFilterMap.clear();
    g_DecodeTimes = g_TimesSortable = g_Debug = false;
  }
  void TearDown() override { SetUp(); }

  // A show (-mvfilter) or NOT (-mvnotfilter) pattern for one attribute.
  static void ShowOnly(const std::string& lowerName, const std::string& pattern) {
    g_MvFilterMap[lowerName] = pattern;
    g_MvFilterOn = true;
  }
  static void Hide(const std::string& lowerName, const std::string& pattern) {
    g_MvNotFilterMap[lowerName] = pattern;
    g_MvNotFilterOn = true;
  }
};

// The lines of an output buffer, without their line ends.
inline std::vector<std::string> SplitLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// printf into a string: expected lines are built from the layouts' formats.
inline std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buf[1024];
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}
