#include "identify/hint_index.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"

namespace Kyrowan::Identify {

namespace {

using nlohmann::json;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool DecodeHex(const std::string& lowered, std::string& bytes) {
  if (lowered.empty() || lowered.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < lowered.size(); i += 2) {
    const int high = HexDigit(lowered[i]);
    const int low = HexDigit(lowered[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

// The name is typed back by the user after "kyrdecrypt -get": one printable word.
bool IsCommandWord(const std::string& name) {
  if (name.empty()) return false;
  for (const unsigned char c : name)
    if (c <= ' ' || c == 0x7F || c == '"') return false;
  return true;
}

// A missing list is an empty one; anything but an array of strings is refused.
bool ReadLoweredTexts(const json& family, const char* key, std::vector<std::string>& texts) {
  if (!family.contains(key)) return true;
  if (!family.at(key).is_array()) return false;
  for (const json& item : family.at(key)) {
    const std::string text = Windows::ToLowerAscii(item.get<std::string>());
    if (!text.empty()) texts.push_back(text);
  }
  return true;
}

bool ReadMarker(const json& item, MarkerHint& marker) {
  if (!item.at("offset").is_number_integer()) return false;
  marker.offset = item.at("offset").get<std::int64_t>();
  marker.hex = Windows::ToLowerAscii(item.at("hex").get<std::string>());
  return DecodeHex(marker.hex, marker.bytes);
}

bool ReadFamily(const json& item, FamilyHints& family) {
  family.decryptor = item.at("decryptor").get<std::string>();
  if (!IsCommandWord(family.decryptor)) return false;
  family.family = item.contains("family") ? item.at("family").get<std::string>() : std::string();
  if (family.family.empty()) family.family = family.decryptor;
  if (!ReadLoweredTexts(item, "extensions", family.extensions) || !ReadLoweredTexts(item, "notes", family.notes))
    return false;
  if (!item.contains("markers")) return true;
  if (!item.at("markers").is_array()) return false;
  for (const json& entry : item.at("markers")) {
    MarkerHint marker;
    if (!ReadMarker(entry, marker)) return false;
    family.markers.push_back(std::move(marker));
  }
  return true;
}

}  // namespace

bool ParseHintIndex(std::string_view text, HintIndex& index) {
  try {
    const json root = json::parse(text);
    if (!root.is_object()) return false;
    HintIndex read;
    if (root.contains("version")) read.version = root.at("version").get<std::string>();
    if (root.contains("families")) {
      if (!root.at("families").is_array()) return false;
      for (const json& item : root.at("families")) {
        FamilyHints family;
        if (!ReadFamily(item, family)) return false;
        read.families.push_back(std::move(family));
      }
    }
    index = std::move(read);
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

}  // namespace Kyrowan::Identify
