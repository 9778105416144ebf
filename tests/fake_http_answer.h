#pragma once

// An answer that no network sent, handed to the HTTP client through its transport seam.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/http_client_testing.h"

namespace Kyrowan::Testing {

/// What a transport would report of one answer.
struct FakeHttpAnswer {
  long status = 200;                ///< 0 or less: no answer at all
  std::int64_t contentLength = -1;  ///< -1: none given (chunked, or until the connection closes)
  std::vector<std::string> pieces;  ///< the body in the pieces the transport hands over
};

/// Plays an answer as a transport bounded by Content-Length would: never beyond
/// it, and cut short when the pieces hold less.
class FakeHttpPlayer final : public Windows::HttpAnswerForTesting {
 public:
  explicit FakeHttpPlayer(const FakeHttpAnswer& answer)
      : answer_(answer),
        left_(answer.contentLength < 0 ? UINT64_MAX : static_cast<std::uint64_t>(answer.contentLength)) {}

  long Status() const override { return answer_.status; }
  std::int64_t ContentLength() const override { return answer_.contentLength; }
  std::vector<char> NextPiece(std::size_t capacity) override {
    while (piece_ < answer_.pieces.size() && offset_ == answer_.pieces[piece_].size()) ++piece_, offset_ = 0;
    if (piece_ == answer_.pieces.size() || left_ == 0) return {};
    const std::string& piece = answer_.pieces[piece_];
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>({piece.size() - offset_, capacity, left_}));
    std::vector<char> bytes(piece.data() + offset_, piece.data() + offset_ + n);
    offset_ += n;
    left_ -= n;
    return bytes;
  }

 private:
  const FakeHttpAnswer& answer_;
  std::uint64_t left_;
  std::size_t piece_ = 0;
  std::size_t offset_ = 0;
};

/// Makes every later request receive `*answer`, as it is when the request starts;
/// null sends requests to the network again.
inline void SetFakeHttpAnswer(const FakeHttpAnswer* answer) {
  if (answer == nullptr) return Windows::SetHttpTransportForTesting(nullptr);
  Windows::SetHttpTransportForTesting([answer] { return std::make_unique<FakeHttpPlayer>(*answer); });
}

}  // namespace Kyrowan::Testing
