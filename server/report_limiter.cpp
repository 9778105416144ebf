#include "report_limiter.h"

namespace KyrServer {

namespace {

constexpr std::chrono::minutes kWindow{1};
// Addresses are swept once this many are known, so the map holds one minute's clients at most.
constexpr std::size_t kSweepAt = 4096;

}  // namespace

bool ReportLimiter::Allow(const std::string& address, Clock::time_point now) {
  std::lock_guard guard(mutex_);
  if (recent_.size() >= kSweepAt) ForgetIdle(now);
  auto& times = recent_[address];
  while (!times.empty() && now - times.front() >= kWindow) times.pop_front();
  if (times.size() >= perMinute_) return false;
  times.push_back(now);
  return true;
}

void ReportLimiter::ForgetIdle(Clock::time_point now) {
  for (auto it = recent_.begin(); it != recent_.end();)
    it = it->second.empty() || now - it->second.back() >= kWindow ? recent_.erase(it) : std::next(it);
}

}  // namespace KyrServer
