#include "client_address.h"

#include <algorithm>

namespace KyrServer {

namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The non-empty entries of a comma-separated header value, in order.
std::vector<std::string_view> Hops(std::string_view list) {
  std::vector<std::string_view> hops;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    if (const std::string_view hop = Trim(list.substr(start, comma - start)); !hop.empty()) hops.push_back(hop);
    start = comma + 1;
  }
  return hops;
}

}  // namespace

std::string ClientAddress(const std::string& peer, std::string_view forwardedFor, std::string_view realIp,
                          const std::vector<std::string>& trustedProxies) {
  const auto trusted = [&trustedProxies](std::string_view address) {
    return std::find(trustedProxies.begin(), trustedProxies.end(), address) != trustedProxies.end();
  };
  if (!trusted(peer)) return peer;
  // Each proxy appends the address it took the request from, so the list is read from the
  // right: entries left of the first untrusted one may be anything the client sent. When
  // every entry is a trusted proxy, the request began at the first.
  std::string_view client;
  const std::vector<std::string_view> hops = Hops(forwardedFor);
  for (auto hop = hops.rbegin(); hop != hops.rend(); ++hop) {
    client = *hop;
    if (!trusted(client)) break;
  }
  if (client.empty()) client = Trim(realIp);
  return client.empty() ? peer : std::string(client);
}

}  // namespace KyrServer
