#include "identify/scoring.h"

#include <algorithm>
#include <tuple>

#include "identify/file_sample.h"
#include "identify/hint_index.h"

namespace Kyrowan::Identify {

namespace {

std::vector<HintCount> CountsFor(const std::vector<std::string>& hints) {
  std::vector<HintCount> counts;
  for (const std::string& hint : hints) counts.push_back({hint, 0});
  return counts;
}

// Counts each matching hint, and the file once for the family; true when any matched.
template <typename Hint, typename Match>
bool Tally(const std::vector<Hint>& hints, std::vector<HintCount>& counts, const Match& matches) {
  bool any = false;
  for (std::size_t i = 0; i < hints.size(); ++i) {
    if (!matches(hints[i])) continue;
    ++counts[i].files;
    any = true;
  }
  return any;
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  // Greedy with one backtrack point: the last * seen absorbs one more character on a mismatch.
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

FamilyScores::FamilyScores(const HintIndex& index) {
  for (const FamilyHints& family : index.families) {
    Candidate tally;
    tally.family = &family;
    tally.extensions = CountsFor(family.extensions);
    tally.notes = CountsFor(family.notes);
    for (const MarkerHint& marker : family.markers)
      tally.markers.push_back({std::to_string(marker.offset) + ":" + marker.hex, 0});
    tallies_.push_back(std::move(tally));
  }
}

void FamilyScores::AddFile(std::string_view loweredName, const FileSample& sample) {
  for (Candidate& tally : tallies_) {
    const FamilyHints& family = *tally.family;
    if (Tally(family.extensions, tally.extensions,
              [&](const std::string& extension) { return loweredName.ends_with(extension); }))
      ++tally.extensionFiles;
    if (Tally(family.notes, tally.notes,
              [&](const std::string& pattern) { return MatchesPattern(pattern, loweredName); }))
      ++tally.noteFiles;
    if (Tally(family.markers, tally.markers, [&](const MarkerHint& marker) { return MarkerMatches(sample, marker); }))
      ++tally.markerFiles;
  }
}

std::vector<Candidate> FamilyScores::Ranked() const {
  std::vector<Candidate> ranked;
  for (const Candidate& tally : tallies_)
    if (tally.markerFiles + tally.noteFiles + tally.extensionFiles > 0) ranked.push_back(tally);
  const auto key = [](const Candidate& c) {
    return std::make_tuple(-static_cast<long long>(c.markerFiles), -static_cast<long long>(c.noteFiles),
                           -static_cast<long long>(c.extensionFiles), std::string_view(c.family->decryptor));
  };
  std::stable_sort(ranked.begin(), ranked.end(), [&](const Candidate& a, const Candidate& b) { return key(a) < key(b); });
  return ranked;
}

}  // namespace Kyrowan::Identify
