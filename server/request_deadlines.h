#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace KyrServer {

/// Gives every request a deadline for arriving whole: its line, its headers and any body
/// must be in within `allowed` of the connection's start, or of the previous answer on a
/// kept-alive connection. A connection past it is cut (its socket shut down, which makes
/// the server close it); a client that dribbles a byte now and then cannot keep it.
/// The clock stops once a request is answered, so a long download is not cut.
class RequestDeadlines {
 public:
  using Clock = std::chrono::steady_clock;

  /// How one connection is cut; the server's socket layer makes it. It is kept until the
  /// connection is Closed and called from the watcher's thread.
  class Cutter {
   public:
    virtual ~Cutter() = default;
    virtual void Cut() = 0;
  };

  explicit RequestDeadlines(Clock::duration allowed);
  ~RequestDeadlines();
  RequestDeadlines(const RequestDeadlines&) = delete;
  RequestDeadlines& operator=(const RequestDeadlines&) = delete;

  /// A connection opened: its first request's clock starts. `connection` names it in the
  /// calls below; `cutter` (never null) ends it once it is past a deadline.
  void Opened(const void* connection, std::unique_ptr<Cutter> cutter);
  /// Its request is answered: no deadline until the next one.
  void Answered(const void* connection);
  /// Its answer is done: the next request's clock starts.
  void Waiting(const void* connection);
  void Closed(const void* connection);

 private:
  void Watch();
  void Restart(const void* connection, std::optional<Clock::time_point> since);

  const Clock::duration allowed_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  struct Watched {
    std::unique_ptr<Cutter> cutter;
    std::optional<Clock::time_point> since;  ///< when the clock started; none while it is stopped
  };
  std::unordered_map<const void*, Watched> connections_;
  std::thread watcher_;  ///< last: starts once the rest is built
};

}  // namespace KyrServer
