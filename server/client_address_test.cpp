#include "client_address.h"

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

TEST(ClientAddress, BelievesForwardingHeadersOnlyFromTrustedProxies) {
  const std::vector<std::string> proxies{"127.0.0.1", "10.0.0.5"};
  struct Case {
    const char* peer;
    const char* forwardedFor;
    const char* realIp;
    const char* expected;
  } const cases[] = {
      {"192.0.2.7", "203.0.113.9", "203.0.113.9", "192.0.2.7"},          // not a proxy: headers ignored
      {"127.0.0.1", "198.51.100.1, 203.0.113.9", "", "203.0.113.9"},     // the entry the proxy added
      {"127.0.0.1", "198.51.100.1,203.0.113.9 , 10.0.0.5", "", "203.0.113.9"},  // past a chain of proxies
      {"127.0.0.1", "10.0.0.5, 127.0.0.1", "", "10.0.0.5"},              // sent by a proxy itself
      {"127.0.0.1", "", " 203.0.113.9 ", "203.0.113.9"},                 // X-Real-IP alone
      {"127.0.0.1", " , ", "", "127.0.0.1"},                             // nothing named
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClientAddress(c.peer, c.forwardedFor, c.realIp, proxies), c.expected) << c.forwardedFor;
}

}  // namespace
}  // namespace KyrServer
