#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace Kyrowan::Windows {

std::int64_t CurrentTimeMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void LocalUtcOffsetText(std::string& out) {
  out = "N/A";
  // localtime_r need not look at TZ again after the first call; tzset makes it.
  ::tzset();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return;
  char buffer[50] = {};
  const std::size_t written = std::strftime(buffer, sizeof buffer, "%z", &local);
  out.assign(buffer, written);
}

}  // namespace Kyrowan::Windows
