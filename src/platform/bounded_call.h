#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace Kyrowan::Windows {

/// Runs `work` on a thread of its own and waits for its result until `deadline`; nothing
/// when time ran out. For a blocking call that cannot be cancelled: on a time-out the work
/// goes on alone, so it must own (share) everything it touches.
template <typename Result, typename Work>
std::optional<Result> CallWithDeadline(Work work, std::chrono::steady_clock::time_point deadline) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Result> result;
  };
  const auto shared = std::make_shared<Shared>();
  std::thread([shared, work = std::move(work)]() mutable {
    Result result = work();
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result = std::move(result);
    shared->done.notify_one();
  }).detach();
  std::unique_lock<std::mutex> lock(shared->mutex);
  const auto finished = [&] { return shared->result.has_value(); };
  if (deadline == std::chrono::steady_clock::time_point::max())
    shared->done.wait(lock, finished);
  else
    shared->done.wait_until(lock, deadline, finished);
  return std::move(shared->result);
}

}  // namespace Kyrowan::Windows
