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

namespace {

// The order properties are checked on all triples of the first few texts: cubic, so few.
constexpr std::size_t kCheckedTexts = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::string> versions;
  while (input.remaining_bytes() > 0 && versions.size() < 64) versions.push_back(input.ConsumeRandomLengthString(64));
  if (versions.empty()) return 0;
  for (const auto& v : versions) {
    ParseVersion(v);
    Require(!IsVersionLower(v, v), "irreflexive");
  }
  // Each pair is compared once; the triple loop then reads the table.
  const std::size_t n = std::min(versions.size(), kCheckedTexts);
  bool lower[kCheckedTexts][kCheckedTexts] = {};
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) lower[i][j] = IsVersionLower(versions[i], versions[j]);
  const auto equivalent = [&](std::size_t a, std::size_t b) { return !lower[a][b] && !lower[b][a]; };
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = 0; b < n; ++b) {
      Require(!(lower[a][b] && lower[b][a]), "asymmetric");
      const bool before = lower[a][b], same = equivalent(a, b);
      if (!before && !same) continue;
      for (std::size_t c = 0; c < n; ++c) {
        if (before && lower[b][c]) Require(lower[a][c], "transitive");
        if (same && equivalent(b, c)) Require(equivalent(a, c), "equivalence is transitive");
      }
    }
  SortVersions(versions);
  const auto ascending = [](const std::string& a, const std::string& b) { return IsVersionLower(a, b); };
  Require(std::is_sorted(versions.begin(), versions.end(), ascending), "sorted ascending");
  return 0;
}
