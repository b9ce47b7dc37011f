// Ranged value lists: a server that holds more values of an attribute than it
// sends at once names the part it sent, as in member;range=0-1499 (the last
// part ends in "*"). These helpers read such names and make the request for
// the next part, so that a read of all the parts always moves forward.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct ValueRange {
  unsigned long start = 0;
  unsigned long end = 0;
  bool last = false;  // the part ends in "*"
};

// Reads the range of a lower-cased attribute description whose ";range="
// option begins at optionPos. False when it is not "<digits>-<digits>" or
// "<digits>-*", or when the end lies before the start.
bool ParseValueRange(const std::string& name, size_t optionPos, ValueRange* range);

// The attribute description that asks for the part after range (baseName
// ";range=" end+1 "-*"). False when range is the last part.
bool NextRangeRequest(const std::string& baseName, const ValueRange& range, std::string* request,
                      unsigned long* nextStart);

// The ranged retrieval of one attribute as a whole ends within the run's
// time limit (-t seconds; 0: no limit), however little each part brings:
// each part's request waits only for what is left of it. The first waits the
// whole limit, so that a server that answers none is known as not answering.
class RangeDeadline {
 public:
  explicit RangeDeadline(long seconds);
  // Milliseconds the next part's request may wait: the whole limit for the
  // first, then what is left of it (0 once it has passed); -1: no limit.
  long NextWaitMs();

 private:
  long limitMs_;
  bool started_ = false;
  std::chrono::steady_clock::time_point end_;
};
