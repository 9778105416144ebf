#pragma once

#include <cstdint>
#include <string>

namespace Kyrowan::Windows {

/// Milliseconds since 1970-01-01 00:00 UTC.
std::int64_t CurrentTimeMillis();
/// The local offset from UTC as "%z" text (sign and four digits), or "N/A"
/// when the local time cannot be had.
void LocalUtcOffsetText(std::string& out);

}  // namespace Kyrowan::Windows
