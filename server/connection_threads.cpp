#include "connection_threads.h"

#include <algorithm>
#include <utility>

#include <httplib.h>

namespace KyrServer {

namespace {

// An idle connection holds a thread: long enough for a client's next request, no longer.
constexpr int kKeepAliveSeconds = 5;
// Requests one connection may send before it must reconnect: enough that a client rarely
// repeats the TLS handshake, few enough that one client cannot keep a thread for good.
constexpr std::size_t kKeepAliveRequests = 100;

// The library's pool, counting the connections its threads are serving.
class CountingPool final : public httplib::ThreadPool {
 public:
  CountingPool(std::size_t threads, std::atomic<std::size_t>& busy) : ThreadPool(threads), busy_(busy) {}

  void enqueue(std::function<void()> serve) override {
    ThreadPool::enqueue([this, serve = std::move(serve)] {
      ++busy_;
      serve();
      --busy_;
    });
  }

 private:
  std::atomic<std::size_t>& busy_;
};

}  // namespace

void ConnectionThreads::Install(httplib::Server& server, int timeoutSeconds) {
  server.new_task_queue = [this] { return new CountingPool(threads_, busy_); };
  server.set_keep_alive_timeout(std::min(timeoutSeconds, kKeepAliveSeconds));
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_post_routing_handler([this](const httplib::Request&, httplib::Response& response) {
    // A client closes its side once told to, which frees the thread.
    if (!Crowded()) return;
    response.set_header("Connection", "close");
    response.headers.erase("Keep-Alive");
  });
}

bool ConnectionThreads::Crowded() const {
  const std::size_t reserve = std::max<std::size_t>(1, threads_ / 4);
  return busy_.load() + reserve > threads_;
}

}  // namespace KyrServer
