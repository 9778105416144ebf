#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace KyrServer {

/// Counts the telemetry reports each client address sent within the last minute,
/// so one client cannot fill the database.
class ReportLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ReportLimiter(std::size_t perMinute) : perMinute_(perMinute) {}

  /// Whether `address` may send one more report at `now`; an allowed report is counted.
  bool Allow(const std::string& address, Clock::time_point now);

 private:
  void ForgetIdle(Clock::time_point now);

  const std::size_t perMinute_;
  std::mutex mutex_;
  std::map<std::string, std::deque<Clock::time_point>> recent_;  ///< allowed reports of the last minute
};

}  // namespace KyrServer
