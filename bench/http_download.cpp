// kyr-http-download-bench HOST PORT PATH [CA_BUNDLE]: one streamed HTTPS GET through the
// client's HTTP backend, the body discarded; prints the bytes and the wall time. Driven by
// bench/http_download.py.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/failure_causes.h"
#include "platform/http_client.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  using namespace Kyrowan::Windows;
  if (argc < 4) {
    std::fputs("usage: kyr-http-download-bench HOST PORT PATH [CA_BUNDLE]\n", stderr);
    return 2;
  }
  const ServerEndpoint server{FromUtf8(argv[1]), std::atoi(argv[2]), argc > 4 ? argv[4] : ""};
  unsigned long long bytes = 0;
  const auto started = std::chrono::steady_clock::now();
  const bool ok = HttpGetStreamed(server, FromUtf8(argv[3]), kUserAgent, {},
                                  [&](std::vector<char>&, std::uint32_t count, std::uint32_t) { bytes += count; });
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  std::printf("%s %llu bytes in %.2f s\n", ok ? "ok" : "failed", bytes, took.count());
  if (!ok && LatestCause()) std::printf("%s\n", ToUtf8(LatestCause()->text).c_str());
  return ok ? 0 : 1;
}
