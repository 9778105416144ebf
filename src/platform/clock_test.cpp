#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

std::string OffsetIn(const char* zone) {
  Testing::ScopedEnv tz("TZ", zone);
  std::string out;
  LocalUtcOffsetText(out);
  return out;
}

TEST(ClockTest, OffsetIsSignAndFourDigitsOfTheCurrentZone) {
  EXPECT_EQ(OffsetIn("UTC0"), "+0000");
  EXPECT_EQ(OffsetIn("<+0530>-5:30"), "+0530");
  // A change of zone between calls is seen.
  EXPECT_EQ(OffsetIn("<-03>3"), "-0300");
  EXPECT_EQ(OffsetIn("UTC0"), "+0000");
}

TEST(ClockTest, MillisecondsSinceTheUnixEpoch) {
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
  const std::int64_t now = CurrentTimeMillis();
  EXPECT_GE(now, before);
  EXPECT_LT(now, before + 2000);
}

}  // namespace
}  // namespace Kyrowan::Windows
