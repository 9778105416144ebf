#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan::Identify {

struct FamilyHints;
struct FileSample;
struct HintIndex;

/// One hint of a family and how many files matched it.
struct HintCount {
  std::string hint;  ///< ".ext", the note pattern, or "OFFSET:HEX"
  std::size_t files = 0;
};

/// A family the scanned files point to, with its evidence.
struct Candidate {
  const FamilyHints* family = nullptr;
  std::size_t markerFiles = 0;     ///< files holding one of its markers
  std::size_t noteFiles = 0;       ///< files named like one of its ransom notes
  std::size_t extensionFiles = 0;  ///< files whose name ends with one of its extensions
  std::vector<HintCount> markers;
  std::vector<HintCount> notes;
  std::vector<HintCount> extensions;
};

/// Whether `name` matches `pattern`, where * stands for any run of characters and ?
/// for one character (both texts already lowered).
bool MatchesPattern(std::string_view pattern, std::string_view name);

/// Tallies the evidence of every family of an index, file by file.
class FamilyScores {
 public:
  explicit FamilyScores(const HintIndex& index);

  /// One scanned file: its name lowered (ASCII) and its sample.
  void AddFile(std::string_view loweredName, const FileSample& sample);

  /// The families with any evidence, best first: more marker files, then more note
  /// files, then more extension files, then by decryptor name.
  std::vector<Candidate> Ranked() const;

 private:
  std::vector<Candidate> tallies_;
};

}  // namespace Kyrowan::Identify
