#include "telemetry_store.h"

#include <nlohmann/json.hpp>


namespace KyrServer {

namespace {

// Length of the UTF-8 sequence starting `text` (shortest form, no surrogates, at most
// U+10FFFF), or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                             : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xc0) != 0x80) return 0;
  // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
  const unsigned char second = byte(1);
  if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) || (lead == 0xf0 && second < 0x90) ||
      (lead == 0xf4 && second > 0x8f))
    return 0;
  return length;
}

bool IsUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace

std::string CheckTelemetryBody(std::string_view body) {
  if (body.size() > kMaxTelemetryBody) return "body larger than " + std::to_string(kMaxTelemetryBody) + " bytes";
  if (!IsUtf8(body)) return "body is not UTF-8";
  // The parser stops at a NUL byte and skips a byte order mark and white space around the
  // value: a body that starts with "{" and ends with "}" leaves it nothing to skip.
  const bool object = body.size() >= 2 && body.front() == '{' && body.back() == '}' &&
                      body.find('\0') == std::string_view::npos;
  if (!object || !nlohmann::json::accept(body)) return "body is not one JSON object";
  return {};
}

}  // namespace KyrServer
