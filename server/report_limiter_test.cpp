#include "report_limiter.h"

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

TEST(ReportLimiter, AllowsTheLimitPerAddressWithinAnyMinute) {
  ReportLimiter limiter(2);
  const auto start = ReportLimiter::Clock::time_point{} + std::chrono::hours(1);
  const std::chrono::seconds at[] = {std::chrono::seconds(0), std::chrono::seconds(30), std::chrono::seconds(59),
                                     std::chrono::seconds(60), std::chrono::seconds(61), std::chrono::seconds(89),
                                     std::chrono::seconds(90)};
  std::string answers;
  for (const auto offset : at) answers += limiter.Allow("10.0.0.1", start + offset) ? 'y' : 'n';
  EXPECT_EQ(answers, "yynynny");
  EXPECT_TRUE(limiter.Allow("10.0.0.2", start + std::chrono::seconds(90)));
}

}  // namespace
}  // namespace KyrServer
