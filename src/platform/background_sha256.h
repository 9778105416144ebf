#pragma once
// SHA-256 of a streamed answer, taken on a thread of its own so that hashing a piece
// overlaps receiving and writing the next one instead of adding to it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/trust_crypto.h"

namespace Kyrowan::Windows {

class BackgroundSha256 {
 public:
  BackgroundSha256();
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  /// Takes the first `count` bytes of `buffer` to hash, leaving in `buffer` a vector of
  /// the same size for the caller to fill next (no copy: the two are swapped). Waits
  /// only while a few pieces are already queued, which bounds the memory held.
  void Hand(std::vector<char>& buffer, std::size_t count);
  /// The digest of every byte handed over, as 64 lower-case hex digits; empty when
  /// hashing failed. Hand may not be called after it.
  std::string FinishHex();

 private:
  struct Piece {
    std::vector<char> bytes;
    std::size_t count = 0;
  };
  void HashQueued();

  static constexpr std::size_t kMaxQueued = 4;
  Sha256Stream hash_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queued_;
  std::vector<std::vector<char>> spare_;  // hashed pieces' storage, handed back for reuse
  bool ended_ = false;
  std::thread worker_;
};

}  // namespace Kyrowan::Windows
