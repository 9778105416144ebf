#include "platform/background_sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kyrowan::Windows {
namespace {

// Pieces of uneven sizes, more than can be queued at once, must be hashed whole and in order.
TEST(BackgroundSha256Test, DigestIsThatOfEveryPieceInTheOrderHandedOver) {
  std::string all;
  BackgroundSha256 background;
  std::vector<char> buffer(65537);
  for (std::size_t piece = 0; piece < 40; ++piece) {
    const std::size_t count = (piece * 7919) % buffer.size();
    for (std::size_t i = 0; i < count; ++i) buffer[i] = static_cast<char>(piece * 31 + i);
    all.append(buffer.data(), count);
    background.Hand(buffer, count);
    ASSERT_EQ(buffer.size(), 65537u) << "the caller's buffer must come back ready to fill";
  }
  Sha256Stream whole;
  whole.Update(all.data(), all.size());
  EXPECT_EQ(background.FinishHex(), whole.FinishHex());
  EXPECT_EQ(background.FinishHex(), "") << "a finished digest is not given twice";
}

}  // namespace
}  // namespace Kyrowan::Windows
