#include "common/zqtimer.h"

#include <cstdio>

#include "common/process_state.h"
#include "common/string_util.h"
#include "platform/tick_count.h"

namespace {

TickSource g_tickSource = nullptr;

}  // namespace

uint32_t GetTicks() {
  return g_tickSource != nullptr ? g_tickSource() : plat::GetTickCount();
}

TickSource SetTickSource(TickSource source) {
  TickSource previous = g_tickSource;
  g_tickSource = source;
  return previous;
}

CZQTimer::CZQTimer(std::string label) { Start(std::move(label)); }

CZQTimer::~CZQTimer() = default;

bool CZQTimer::Start(std::string label) {
  label = StrToUpper(std::move(label));
  if (label.empty()) return false;
  timers[label] = pdw(GetTicks(), 0);
  running_.insert(label);
  labels.push_back(label);
  return true;
}

bool CZQTimer::Stop(std::string label) {
  label = StrToUpper(std::move(label));
  if (label.empty()) return false;
  auto it = timers.find(label);
  if (it == timers.end()) return false;
  it->second.second = GetTicks();
  running_.erase(label);
  return true;
}

uint32_t CZQTimer::Delta(std::string label) {
  label = StrToUpper(std::move(label));
  auto it = timers.find(label);
  if (it == timers.end()) return 0;
  if (running_.count(label) != 0) Stop(label);
  // Unsigned subtraction is modulo 2^32, so a wrap between the ticks is fine.
  return it->second.second - it->second.first;
}

uint32_t CZQTimer::ElapsedMs(std::string label) {
  uint32_t delta = Delta(label);
  if (g_Debug) {
    auto it = timers.find(StrToUpper(label));
    uint32_t start = it != timers.end() ? it->second.first : 0;
    uint32_t end = it != timers.end() ? it->second.second : 0;
    std::printf("Start: %u\nEnd  : %u\nDelta: %u\n", start, end, delta);
  }
  return delta;
}

long double CZQTimer::ElapsedSeconds(std::string label) {
  return ElapsedMs(std::move(label)) * 0.001L;
}
