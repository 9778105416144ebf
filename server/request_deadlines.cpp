#include "request_deadlines.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

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

void RequestDeadlines::Opened(const void* connection, int socket) {
  // A descriptor of our own for the socket: shutting it down reaches the connection, and it
  // cannot name another connection's socket however the server orders closing and Closed.
  const int own = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {  // out of descriptors: a connection that cannot be watched is not served
    ::shutdown(socket, SHUT_RDWR);
    return;
  }
  std::lock_guard guard(mutex_);
  connections_[connection] = Watched{own, Clock::now()};
}

void RequestDeadlines::Answered(const void* connection) { Restart(connection, std::nullopt); }

void RequestDeadlines::Waiting(const void* connection) { Restart(connection, Clock::now()); }

void RequestDeadlines::Closed(const void* connection) {
  std::lock_guard guard(mutex_);
  if (const auto found = connections_.find(connection); found != connections_.end()) {
    ::close(found->second.socket);
    connections_.erase(found);
  }
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
      ::shutdown(watched.socket, SHUT_RDWR);
      watched.since.reset();
    }
  }
}

}  // namespace KyrServer
