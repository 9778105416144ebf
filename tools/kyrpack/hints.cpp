#include "kyrpack/hints.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include <nlohmann/json.hpp>

#include "kyrpack/packer.h"

namespace Kyrowan::Kyrpack {

namespace {

bool IsHexText(const std::string& text) {
  return !text.empty() && text.size() % 2 == 0 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// A single file name as Windows and POSIX both accept it: no folder, drive or control character.
bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':';
  });
}

}  // namespace

bool ParseMarker(const std::string& text, Marker& marker, std::string& error) {
  const auto colon = text.find(':');
  const char* first = text.data();
  const char* end = first + (colon == std::string::npos ? 0 : colon);
  const auto [stop, code] = std::from_chars(first, end, marker.offset);
  marker.hex = colon == std::string::npos ? "" : text.substr(colon + 1);
  std::transform(marker.hex.begin(), marker.hex.end(), marker.hex.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (colon == std::string::npos || first == end || code != std::errc() || stop != end || !IsHexText(marker.hex)) {
    error = "--marker '" + text + "' is not OFFSET:HEX (a whole number, then an even number of hex digits)";
    return false;
  }
  return true;
}

bool CheckHints(const FamilyHints& hints, std::string& error) {
  if (!IsNameText(hints.decryptor)) {
    error = "the decryptor name must be lower-case letters, digits, '.', '_' or '-'";
    return false;
  }
  if (hints.family.empty()) {
    error = "the family name must not be empty";
    return false;
  }
  // The hints are stored as JSON, which holds UTF-8 text only.
  const auto isUtf8 = [](const std::vector<std::string>& texts) {
    return std::all_of(texts.begin(), texts.end(), IsUtf8Text);
  };
  if (!IsUtf8Text(hints.family) || !isUtf8(hints.extensions) || !isUtf8(hints.notes)) {
    error = "--family, --extension and --note must be UTF-8 text";
    return false;
  }
  for (const std::string& extension : hints.extensions) {
    if (extension.size() < 2 || extension.front() != '.' || !IsPlainFileName(extension)) {
      error = "the extension '" + extension + "' must start with '.' and be part of a file name";
      return false;
    }
  }
  for (const std::string& note : hints.notes) {
    if (!IsPlainFileName(note)) {
      error = "the note '" + note + "' must be a file name, without folders";
      return false;
    }
  }
  for (const Marker& marker : hints.markers) {
    if (!IsHexText(marker.hex)) {
      error = "the marker at " + std::to_string(marker.offset) + " needs an even number of hex digits";
      return false;
    }
  }
  return true;
}

void to_json(nlohmann::json& json, const Marker& marker) {
  json = {{"offset", marker.offset}, {"hex", marker.hex}};
}

void from_json(const nlohmann::json& json, Marker& marker) {
  json.at("offset").get_to(marker.offset);
  json.at("hex").get_to(marker.hex);
}

void to_json(nlohmann::json& json, const FamilyHints& hints) {
  json = {{"decryptor", hints.decryptor}, {"family", hints.family}, {"extensions", hints.extensions},
          {"notes", hints.notes},         {"markers", hints.markers}};
}

void from_json(const nlohmann::json& json, FamilyHints& hints) {
  json.at("decryptor").get_to(hints.decryptor);
  hints.family = json.value("family", hints.decryptor);
  hints.extensions = json.value("extensions", std::vector<std::string>{});
  hints.notes = json.value("notes", std::vector<std::string>{});
  hints.markers = json.value("markers", std::vector<Marker>{});
}

}  // namespace Kyrowan::Kyrpack
