#include "platform/clock.h"

#include <cstdio>
#include <ctime>

#include <windows.h>

namespace Kyrowan::Windows {

namespace {

constexpr std::int64_t kFileTimeAtUnixEpoch = 116444736000000000LL;  // 100-ns units since 1601

}  // namespace

std::int64_t CurrentTimeMillis() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | static_cast<std::int64_t>(now.dwLowDateTime);
  return (ticks - kFileTimeAtUnixEpoch) / 10000;
}

// msvcrt's strftime("%z") prints the zone's name, not its offset: the offset is the
// local broken-down time read back as if it were UTC, minus the time itself.
void LocalUtcOffsetText(std::string& out) {
  out = "N/A";
  // The runtime reads TZ only when told to; a zone changed since the last call is then seen.
  ::_tzset();
  const __time64_t now = ::_time64(nullptr);
  std::tm local{};
  if (::_localtime64_s(&local, &now) != 0) return;
  const __time64_t localAsUtc = ::_mkgmtime64(&local);
  if (localAsUtc == -1) return;
  const long long minutes = (localAsUtc - now) / 60;
  const long long magnitude = minutes < 0 ? -minutes : minutes;
  char buffer[50] = {};
  std::snprintf(buffer, sizeof buffer, "%c%02lld%02lld", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  out = buffer;
}

}  // namespace Kyrowan::Windows
