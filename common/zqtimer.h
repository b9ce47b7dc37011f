// Named millisecond stopwatches keyed by upper-cased label, timed with the
// system's 32-bit tick count.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Start and end tick of one stopwatch. Whether it runs is kept apart (a tick
// of 0 is a real reading once the counter has wrapped); a running stopwatch
// has the end tick 0.
using pdw = std::pair<uint32_t, uint32_t>;

// The current tick count (milliseconds, wrapping at 2^32).
uint32_t GetTicks();

// Replaces the tick source that GetTicks reads (for tests); nullptr restores
// the system tick count. Returns the previous source (nullptr = system).
using TickSource = uint32_t (*)();
TickSource SetTickSource(TickSource source);

class CZQTimer {
 public:
  explicit CZQTimer(std::string label);
  ~CZQTimer();

  bool Start(std::string label);
  bool Stop(std::string label);
  // Elapsed milliseconds; reading a running stopwatch stops it.
  uint32_t Delta(std::string label);
  // Delta, plus three lines of ticks on standard output under -d.
  uint32_t ElapsedMs(std::string label);
  long double ElapsedSeconds(std::string label);

  std::map<std::string, pdw> timers;
  std::vector<std::string> labels;

 private:
  std::set<std::string> running_;
};
