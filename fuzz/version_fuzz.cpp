// Version texts come from the server's list and from manifests. Their order must be a
// strict weak order, or sorting is undefined and "the latest" depends on input order.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/version.h"
#include "fuzz_support.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::string> versions;
  while (input.remaining_bytes() > 0 && versions.size() < 64) versions.push_back(input.ConsumeRandomLengthString(64));
  if (versions.empty()) return 0;
  for (const auto& v : versions) {
    ParseVersion(v);
    Require(!IsVersionLower(v, v), "irreflexive");
  }
  const auto lower = [](const std::string& a, const std::string& b) { return IsVersionLower(a, b); };
  const auto equivalent = [&](const std::string& a, const std::string& b) { return !lower(a, b) && !lower(b, a); };
  const std::size_t n = std::min<std::size_t>(versions.size(), 8);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      const auto &a = versions[i], &b = versions[j];
      Require(!(lower(a, b) && lower(b, a)), "asymmetric");
      for (std::size_t k = 0; k < n; ++k) {
        const auto& c = versions[k];
        if (lower(a, b) && lower(b, c)) Require(lower(a, c), "transitive");
        if (equivalent(a, b) && equivalent(b, c)) Require(equivalent(a, c), "equivalence is transitive");
      }
    }
  SortVersions(versions);
  Require(std::is_sorted(versions.begin(), versions.end(), lower), "sorted ascending");
  return 0;
}
