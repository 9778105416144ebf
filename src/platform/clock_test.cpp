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
  // The C runtimes spell zones differently; a change of zone between calls must be seen.
#ifdef _WIN32
  const char* const zones[] = {"UTC0", "IST-5:30", "BRT3", "UTC0"};
#else
  const char* const zones[] = {"UTC0", "<+0530>-5:30", "<-03>3", "UTC0"};
#endif
  const char* const offsets[] = {"+0000", "+0530", "-0300", "+0000"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(OffsetIn(zones[i]), offsets[i]) << zones[i];
}

TEST(ClockTest, MillisecondsSinceTheUnixEpoch) {
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
  const std::int64_t now = CurrentTimeMillis();
  EXPECT_GE(now, before);
  EXPECT_LT(now, before + 2000);
}

}  // namespace
}  // namespace Kyrowan::Windows
