#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace Kyrowan::Kyrpack {

/// Bytes an encrypted file holds at a fixed offset: from the start, or when negative from the end.
struct Marker {
  std::int64_t offset = 0;
  std::string hex;  ///< lower case, an even number of digits
  bool operator==(const Marker&) const = default;
};

/// What the family one decryptor undoes leaves behind on a victim's machine.
struct FamilyHints {
  std::string decryptor;
  std::string family;                   ///< the name shown to the victim
  std::vector<std::string> extensions;  ///< appended to encrypted files, with the leading "."
  std::vector<std::string> notes;       ///< ransom-note file names, "*" and "?" as wildcards
  std::vector<Marker> markers;
  bool operator==(const FamilyHints&) const = default;
};

/// Reads "OFFSET:HEX" (OFFSET a decimal, negative from the end); `error` says why it cannot.
bool ParseMarker(const std::string& text, Marker& marker, std::string& error);

/// Whether the hints may be published; `error` names the first that may not.
bool CheckHints(const FamilyHints& hints, std::string& error);

void to_json(nlohmann::json& json, const Marker& marker);
void from_json(const nlohmann::json& json, Marker& marker);
void to_json(nlohmann::json& json, const FamilyHints& hints);
/// Missing lists read as empty; unknown keys are ignored.
void from_json(const nlohmann::json& json, FamilyHints& hints);

}  // namespace Kyrowan::Kyrpack
