#include "driver/value_ranges.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr size_t kOptionLength = 7;  // ";range="

bool ReadNumber(const std::string& text, size_t from, size_t to, unsigned long* value) {
  if (to <= from || to - from > 9) return false;
  for (size_t i = from; i < to; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  *value = std::strtoul(text.substr(from, to - from).c_str(), nullptr, 10);
  return true;
}

}  // namespace

bool ParseValueRange(const std::string& name, size_t optionPos, ValueRange* range) {
  const size_t from = optionPos + kOptionLength;
  if (optionPos == std::string::npos || from > name.size()) return false;
  const size_t dash = name.find('-', from);
  if (dash == std::string::npos) return false;
  ValueRange r;
  if (!ReadNumber(name, from, dash, &r.start)) return false;
  if (name.compare(dash + 1, std::string::npos, "*") == 0) {
    r.last = true;
  } else if (!ReadNumber(name, dash + 1, name.size(), &r.end) || r.end < r.start) {
    return false;
  }
  *range = r;
  return true;
}

bool NextRangeRequest(const std::string& baseName, const ValueRange& range, std::string* request,
                      unsigned long* nextStart) {
  if (range.last) return false;
  *nextStart = range.end + 1;
  *request = baseName + ";range=" + std::to_string(*nextStart) + "-*";
  return true;
}

RangeDeadline::RangeDeadline(long seconds) : limitMs_(seconds > 0 ? seconds * 1000 : -1) {}

long RangeDeadline::NextWaitMs() {
  using Clock = std::chrono::steady_clock;
  if (limitMs_ < 0) return -1;
  if (!started_) {
    started_ = true;
    end_ = Clock::now() + std::chrono::milliseconds(limitMs_);
    return limitMs_;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
  return std::max(0L, static_cast<long>(left.count()));
}
