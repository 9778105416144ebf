#include "platform/deadline_worker.h"

#include <condition_variable>
#include <mutex>

namespace Kyrowan::Windows {

struct DeadlineWorker::Shared {
  std::mutex mutex;
  std::condition_variable handed;
  std::condition_variable returned;
  std::function<void()> call;
  bool done = false;
  bool stopping = false;

  void Serve() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      handed.wait(lock, [this] { return call || stopping; });
      if (!call) return;
      std::function<void()> current = std::move(call);
      call = nullptr;
      lock.unlock();
      current();
      // Released before the owner hears of it, so the owner's references are never
      // outlived by this thread's unless the owner gave up waiting.
      current = nullptr;
      lock.lock();
      done = true;
      returned.notify_one();
    }
  }
};

DeadlineWorker::DeadlineWorker() : shared_(std::make_shared<Shared>()) {}

DeadlineWorker::~DeadlineWorker() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->handed.notify_one();
  // An abandoned call may hold the last reference to this worker's owner: then this runs
  // on the worker itself, which cannot be joined.
  if (abandoned_)
    thread_.detach();
  else
    thread_.join();
}

bool DeadlineWorker::Run(std::function<void()> call, Clock::time_point deadline) {
  if (abandoned_) return false;
  // Started by the first call, so an owner that never blocks costs no thread.
  if (!thread_.joinable()) thread_ = std::thread([shared = shared_] { shared->Serve(); });
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->call = std::move(call);
  shared_->done = false;
  shared_->handed.notify_one();
  const auto returned = [this] { return shared_->done; };
  if (deadline == Clock::time_point::max())
    shared_->returned.wait(lock, returned);
  else if (!shared_->returned.wait_until(lock, deadline, returned))
    abandoned_ = true;
  return !abandoned_;
}

}  // namespace Kyrowan::Windows
