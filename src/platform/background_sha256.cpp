#include "platform/background_sha256.h"

namespace Kyrowan::Windows {

BackgroundSha256::BackgroundSha256() : worker_([this] { HashQueued(); }) {}

// A stream that failed part way still ends its worker: at most a few queued pieces are left.
BackgroundSha256::~BackgroundSha256() { (void)FinishHex(); }

void BackgroundSha256::Hand(std::vector<char>& buffer, std::size_t count) {
  if (count == 0) return;
  Piece piece;
  {
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return queued_.size() < kMaxQueued; });
    if (!spare_.empty()) {
      piece.bytes = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  piece.bytes.resize(buffer.size());
  piece.bytes.swap(buffer);
  piece.count = count;
  bool wasIdle = false;
  {
    std::lock_guard guard(mutex_);
    wasIdle = queued_.empty();
    queued_.push_back(std::move(piece));
  }
  if (wasIdle) changed_.notify_all();
}

std::string BackgroundSha256::FinishHex() {
  if (!worker_.joinable()) return {};
  {
    std::lock_guard guard(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
  worker_.join();
  return hash_.FinishHex();
}

void BackgroundSha256::HashQueued() {
  std::unique_lock guard(mutex_);
  for (;;) {
    changed_.wait(guard, [&] { return ended_ || !queued_.empty(); });
    if (queued_.empty()) return;
    Piece piece = std::move(queued_.front());
    guard.unlock();
    hash_.Update(piece.bytes.data(), piece.count);
    guard.lock();
    queued_.pop_front();
    spare_.push_back(std::move(piece.bytes));
    // The sender may be waiting for room.
    changed_.notify_all();
  }
}

}  // namespace Kyrowan::Windows
