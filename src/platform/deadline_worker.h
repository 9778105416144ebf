#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace Kyrowan::Windows {

/// One thread that makes the blocking calls of its owner, one at a time, while the owner
/// waits for each until a deadline. A call still running at its deadline cannot be taken
/// back: the worker is then abandoned and finishes that call alone, so every call must own
/// (share) whatever it touches. An abandoned worker runs nothing more.
class DeadlineWorker {
 public:
  using Clock = std::chrono::steady_clock;

  DeadlineWorker();
  /// Ends the thread: waits for an idle one, leaves an abandoned one to end alone.
  ~DeadlineWorker();
  DeadlineWorker(const DeadlineWorker&) = delete;
  DeadlineWorker& operator=(const DeadlineWorker&) = delete;

  /// Runs `call` on the worker (started by the first call); true when it returned by
  /// `deadline` (max: no bound). False, without running it, once the worker is abandoned.
  bool Run(std::function<void()> call, Clock::time_point deadline);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool abandoned_ = false;
};

}  // namespace Kyrowan::Windows
