#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan::Identify {

/// Bytes an encrypted file holds at a fixed place: from its start, or (negative) from its end.
struct MarkerHint {
  std::int64_t offset = 0;
  std::string bytes;
  std::string hex;  ///< as the index wrote it, lower case: for showing
};

/// What one ransomware family leaves behind, and the decryptor that undoes it.
struct FamilyHints {
  std::string decryptor;
  std::string family;                   ///< display name; the decryptor's name when the index gives none
  std::vector<std::string> extensions;  ///< lower case (ASCII), as appended to file names
  std::vector<std::string> notes;       ///< ransom-note file names, lower case, with * and ? wildcards
  std::vector<MarkerHint> markers;
};

/// The publisher's signed hints for every family it knows.
struct HintIndex {
  std::string version;
  std::vector<FamilyHints> families;
};

/// Reads the JSON text of an index. Unknown keys are ignored; a known key of the
/// wrong type, a family without a usable decryptor name or a malformed marker
/// refuses the whole text (false, `index` unchanged).
bool ParseHintIndex(std::string_view json, HintIndex& index);

}  // namespace Kyrowan::Identify
