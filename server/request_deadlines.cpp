#include "request_deadlines.h"

#include <algorithm>

namespace KyrServer {

namespace {

// How often the watcher looks: a few times within the deadline, no more than needed.
RequestDeadlines::Clock::duration Tick(RequestDeadlines::Clock::duration allowed) {
  return std::clamp<RequestDeadlines::Clock::duration>(allowed / 4, std::chrono::milliseconds(20),
                                                       std::chrono::milliseconds(500));
}

}  // namespace

RequestDeadlines::RequestDeadlines(Clock::duration allowed) : allowed_(allowed), watcher_([this] { Watch(); }) {}

RequestDeadlines::~RequestDeadlines() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  watcher_.join();
}

void RequestDeadlines::Opened(const void* connection, std::unique_ptr<Cutter> cutter) {
  std::lock_guard guard(mutex_);
  connections_[connection] = Watched{std::move(cutter), Clock::now()};
}

void RequestDeadlines::Answered(const void* connection) { Restart(connection, std::nullopt); }

void RequestDeadlines::Waiting(const void* connection) { Restart(connection, Clock::now()); }

void RequestDeadlines::Closed(const void* connection) {
  std::lock_guard guard(mutex_);
  connections_.erase(connection);
}

void RequestDeadlines::Restart(const void* connection, std::optional<Clock::time_point> since) {
  std::lock_guard guard(mutex_);
  if (const auto found = connections_.find(connection); found != connections_.end()) found->second.since = since;
}

void RequestDeadlines::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, Tick(allowed_));
    const Clock::time_point now = Clock::now();
    for (auto& [connection, watched] : connections_) {
      if (!watched.since || now - *watched.since < allowed_) continue;
      watched.cutter->Cut();
      watched.since.reset();
    }
  }
}

}  // namespace KyrServer
