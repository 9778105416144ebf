#include "platform/trust_metadata.h"

#include <chrono>
#include <cstdio>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/key_fingerprint.h"
#include "platform/signature_checks.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

using nlohmann::json;

constexpr unsigned kMinimumKeyBits = 2048;

bool ReadFile(std::string_view text, const char* type, json& signedPart, SignedMetadata& file, std::string& error) {
  const json whole = json::parse(text, nullptr, false);
  if (!whole.is_object() || !whole.contains("signed") || !whole["signed"].is_object() ||
      !whole.contains("signatures") || !whole["signatures"].is_array()) {
    error = "is not a signed metadata file";
    return false;
  }
  signedPart = whole["signed"];
  if (signedPart.value("_type", json()) != type) {
    error = std::string("is not a ") + type + " file";
    return false;
  }
  file.signedText = signedPart.dump();
  for (const json& signature : whole["signatures"]) {
    if (signature.is_object() && signature.value("keyid", json()).is_string() &&
        signature.value("sig", json()).is_string())
      file.signatures[signature["keyid"].get<std::string>()].push_back(signature["sig"].get<std::string>());
  }
  return true;
}

// The version and expiry every metadata file carries.
bool ReadVersionAndExpiry(const json& part, std::uint64_t& version, std::int64_t& expires, std::string& error) {
  const json number = part.value("version", json());
  const json expiry = part.value("expires", json());
  if (!number.is_number_unsigned() || number.get<std::uint64_t>() == 0) {
    error = "has no version";
    return false;
  }
  version = number.get<std::uint64_t>();
  if (!expiry.is_string() || !ParseUtcTime(expiry.get<std::string>(), expires)) {
    error = "has no expiry time";
    return false;
  }
  return true;
}

bool ReadRole(const json& roles, const char* name, const std::map<std::string, MetadataKey>& keys, TrustRole& role,
              std::string& error) {
  const json entry = roles.value(name, json());
  const json ids = entry.is_object() ? entry.value("keyids", json()) : json();
  const json threshold = entry.is_object() ? entry.value("threshold", json()) : json();
  if (!ids.is_array() || !threshold.is_number_unsigned() || threshold.get<std::uint64_t>() == 0) {
    error = std::string("has no valid role ") + name;
    return false;
  }
  std::set<std::string> distinct;
  for (const json& id : ids) {
    if (!id.is_string() || !keys.count(id.get<std::string>())) {
      error = std::string("names a key for role ") + name + " it does not hold";
      return false;
    }
    if (distinct.insert(id.get<std::string>()).second) role.keyIds.push_back(id.get<std::string>());
  }
  role.threshold = threshold.get<std::size_t>();
  if (role.threshold > role.keyIds.size()) {
    error = std::string("asks more signatures for role ") + name + " than it has keys";
    return false;
  }
  return true;
}

bool ReadKeys(const json& part, std::map<std::string, MetadataKey>& keys, std::string& error) {
  const json all = part.value("keys", json());
  if (!all.is_object()) {
    error = "has no keys";
    return false;
  }
  for (const auto& [id, entry] : all.items()) {
    MetadataKey key;
    std::string fingerprint;
    const json pem = entry.is_object() ? entry.value("public", json()) : json();
    if (!entry.is_object() || entry.value("keytype", json()) != "rsa" || !pem.is_string() ||
        !DecodeMetadataKey(pem.get<std::string>(), key) || !Sha256Hex(key.info.data(), key.info.size(), fingerprint) ||
        fingerprint != id || key.bits < kMinimumKeyBits) {
      error = "holds a key " + id + " that is not an RSA key of 2048 bits or more under its own id";
      return false;
    }
    keys[id] = std::move(key);
  }
  return true;
}

}  // namespace

bool ParseUtcTime(std::string_view text, std::int64_t& seconds) {
  int year = 0, hour = 0, minute = 0, second = 0;
  unsigned month = 0, day = 0;
  char zone = 0;
  int consumed = 0;
  const std::string copy(text);
  if (text.size() != 20 ||
      std::sscanf(copy.c_str(), "%4d-%2u-%2uT%2d:%2d:%2d%c%n", &year, &month, &day, &hour, &minute, &second, &zone,
                  &consumed) != 7 ||
      consumed != 20 || zone != 'Z' || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
  if (!date.ok()) return false;
  const std::chrono::sys_seconds when = std::chrono::sys_days(date) + std::chrono::hours(hour) +
                                        std::chrono::minutes(minute) + std::chrono::seconds(second);
  seconds = when.time_since_epoch().count();
  return true;
}

std::string FormatUtcTime(std::int64_t seconds) {
  const std::chrono::sys_seconds when{std::chrono::seconds(seconds)};
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day date(day);
  const std::chrono::hh_mm_ss time(when - day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

bool ParseTrustRoot(std::string_view text, TrustRoot& root, std::string& error) {
  json part;
  if (!ReadFile(text, "root", part, root.file, error) ||
      !ReadVersionAndExpiry(part, root.version, root.expires, error) || !ReadKeys(part, root.keys, error))
    return false;
  const json roles = part.value("roles", json());
  if (!roles.is_object()) {
    error = "has no roles";
    return false;
  }
  if (!ReadRole(roles, "root", root.keys, root.root, error) ||
      !ReadRole(roles, "snapshot", root.keys, root.snapshot, error))
    return false;
  if (roles.contains("packages")) {
    root.packages.emplace();
    if (!ReadRole(roles, "packages", root.keys, *root.packages, error)) return false;
  }
  return true;
}

bool ParseTrustSnapshot(std::string_view text, TrustSnapshot& snapshot, std::string& error) {
  json part;
  if (!ReadFile(text, "snapshot", part, snapshot.file, error) ||
      !ReadVersionAndExpiry(part, snapshot.version, snapshot.expires, error))
    return false;
  const json files = part.value("files", json());
  if (!files.is_object()) {
    error = "lists no files";
    return false;
  }
  for (const auto& [path, entry] : files.items()) {
    const json length = entry.is_object() ? entry.value("length", json()) : json();
    const json sha256 = entry.is_object() ? entry.value("sha256", json()) : json();
    if (!length.is_number_unsigned() || !sha256.is_string() || sha256.get<std::string>().size() != 64) {
      error = "lists " + path + " without a length and a SHA-256";
      return false;
    }
    snapshot.files[path] = TrustedFile{length.get<std::uint64_t>(), ToLowerAscii(sha256.get<std::string>())};
  }
  return true;
}

bool MeetsThreshold(const SignedMetadata& file, const std::map<std::string, MetadataKey>& keys,
                    const TrustRole& role) {
  std::size_t good = 0;
  for (const std::string& id : role.keyIds) {
    const auto key = keys.find(id);
    const auto signatures = file.signatures.find(id);
    if (key == keys.end() || signatures == file.signatures.end()) continue;
    for (const std::string& base64 : signatures->second) {
      std::vector<std::uint8_t> signature;
      if (Base64Decode(base64, signature) && VerifyRsaSha256(key->second, file.signedText, signature)) {
        ++good;  // one key counts once, however often it is listed
        break;
      }
    }
  }
  return good >= role.threshold;
}

}  // namespace Kyrowan::Windows
