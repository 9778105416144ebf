#include "telemetry_store.h"

#include <utility>

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

TEST(TelemetryBody, MustBeOneJsonObjectInUtf8OfAtMost16383Bytes) {
  const std::string largest = "{\"a\":\"" + std::string(16375, 'x') + "\"}";
  const std::pair<std::string, const char*> cases[] = {
      {R"({"a":1})", ""},
      {"{\"a\":\"\xc3\xa9\xf0\x9f\x94\x91\"}", ""},
      {largest, ""},
      {largest + " ", "body larger than 16383 bytes"},
      {"not json", "body is not one JSON object"},
      {"", "body is not one JSON object"},
      {"42", "body is not one JSON object"},
      {"null", "body is not one JSON object"},
      {R"("text")", "body is not one JSON object"},
      {"{} {}", "body is not one JSON object"},
      {"{}\n", "body is not one JSON object"},
      {"\xef\xbb\xbf{}", "body is not one JSON object"},
      {std::string("{\"a\":1}\0tail}", 13), "body is not one JSON object"},
      {std::string("{\"a\":1}\0\xff}", 11), "body is not UTF-8"},
      {"{\"a\":\"\xc0\xaf\"}", "body is not UTF-8"},
      {"{\"a\":\"\xed\xa0\x80\"}", "body is not UTF-8"},
      {"{\"a\":\"\xe2\x82\"}", "body is not UTF-8"},
  };
  for (const auto& [body, problem] : cases) EXPECT_EQ(CheckTelemetryBody(body), problem) << body;
}

}  // namespace
}  // namespace KyrServer
