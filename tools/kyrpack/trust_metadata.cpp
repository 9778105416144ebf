#include "kyrpack/trust_metadata.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include "kyrpack/file_digest.h"
#include "kyrpack/signer.h"
#include "platform/clock.h"
#include "platform/trust_metadata.h"
#include "kyrpack/tree_layout.h"
#include "platform/file_system.h"
#include "platform/key_fingerprint.h"
#include "platform/signature_checks.h"
#include "platform/text.h"
#include "platform/trust_crypto.h"

namespace Kyrowan::Kyrpack {

namespace {

using Json = nlohmann::json;

/// An SPKI PEM's key id and size; an empty id when it is no RSA key.
struct PublicKeyFacts {
  std::string keyId;
  int bits = 0;
};

PublicKeyFacts FactsOf(const std::string& spkiPem) {
  Windows::MetadataKey key;
  PublicKeyFacts facts;
  if (!Windows::DecodeMetadataKey(spkiPem, key) || !Windows::Sha256Hex(key.info.data(), key.info.size(), facts.keyId))
    return {};
  facts.bits = static_cast<int>(key.bits);
  return facts;
}

// Adds a role's keys to "keys" and returns the role's entry.
bool AddRole(const char* name, const std::vector<std::string>& pems, int threshold, Json& keys, Json& role,
             std::string& error) {
  if (threshold < 1 || static_cast<std::size_t>(threshold) > pems.size()) {
    error = std::string("the ") + name + " threshold " + std::to_string(threshold) + " needs " +
            (threshold < 1 ? "to be at least 1" : "at least as many keys; " + std::to_string(pems.size()) + " given");
    return false;
  }
  Json ids = Json::array();
  for (const std::string& pem : pems) {
    const std::string spki = SpkiPemOf(pem);
    const PublicKeyFacts facts = FactsOf(spki);
    if (facts.keyId.empty()) {
      error = std::string("a ") + name + " key is not an RSA public key";
      return false;
    }
    if (facts.bits < kMinimumTrustKeyBits) {
      error = std::string("the ") + name + " key " + facts.keyId + " has " + std::to_string(facts.bits) +
              " bits; at least 2048 are needed";
      return false;
    }
    keys[facts.keyId] = {{"keytype", "rsa"}, {"public", spki}};
    if (std::find(ids.begin(), ids.end(), facts.keyId) == ids.end()) ids.push_back(facts.keyId);
  }
  if (ids.size() < static_cast<std::size_t>(threshold)) {
    error = std::string("the ") + name + " threshold needs that many different keys";
    return false;
  }
  role = {{"keyids", ids}, {"threshold", threshold}};
  return true;
}

}  // namespace

std::string SignedText(const Json& signedPart) { return signedPart.dump(); }

bool SignMetadata(const Json& signedPart, const std::vector<const Signer*>& signers, std::string& file,
                  std::string& error) {
  const std::string text = SignedText(signedPart);
  Json signatures = Json::array();
  for (const Signer* signer : signers) {
    std::vector<std::uint8_t> raw;
    std::string base64;
    if (!signer->SignSha256(text.data(), text.size(), raw) ||
        !Windows::Base64Encode(raw.data(), static_cast<std::uint32_t>(raw.size()), base64)) {
      error = "could not sign with key " + signer->KeyId();
      return false;
    }
    signatures.push_back({{"keyid", signer->KeyId()}, {"sig", base64}});
  }
  file = Json{{"signatures", signatures}, {"signed", signedPart}}.dump(1) + "\n";
  return true;
}

bool BuildRootSigned(const TrustRoot& root, Json& signedPart, std::string& error) {
  Json keys = Json::object();
  Json roles = Json::object();
  if (!AddRole("root", root.root.publicPems, root.root.threshold, keys, roles["root"], error) ||
      !AddRole("snapshot", root.snapshot.publicPems, root.snapshot.threshold, keys, roles["snapshot"], error))
    return false;
  if (!root.packagesPems.empty() && !AddRole("packages", root.packagesPems, 1, keys, roles["packages"], error))
    return false;
  signedPart = {{"_type", "root"}, {"version", root.version}, {"expires", root.expires}, {"keys", keys},
                {"roles", roles}};
  return true;
}

bool BuildSnapshotSigned(const std::string& tree, std::uint64_t version, const std::string& expires,
                         Json& signedPart, std::string& error) {
  namespace fs = std::filesystem;
  Json files = Json::object();
  std::error_code failure;
  const fs::path base = fs::u8path(tree);
  for (auto walk = fs::recursive_directory_iterator(base, failure); !failure && walk != fs::end(walk);
       walk.increment(failure)) {
    if (!walk->is_regular_file(failure)) continue;
    const std::string relative = walk->path().lexically_relative(base).generic_string();
    const std::string name = walk->path().filename().string();
    // Only what a client can request: not the trust files themselves, not the hints source or
    // the writers' lock, not a temporary copy a running or killed write left.
    if (relative.starts_with("trust/") || relative == Tree::HintsSourcePath() || relative == Tree::LockPath() ||
        Windows::IsTemporaryCopyName(Windows::FromUtf8(name)))
      continue;
    std::uint64_t length = 0;
    std::string hex;
    if (!Sha256OfFile(walk->path(), length, hex)) {
      error = "cannot read '" + walk->path().string() + "'";
      return false;
    }
    files[relative] = {{"length", length}, {"sha256", hex}};
  }
  if (failure) {
    error = "cannot list the tree '" + tree + "': " + failure.message();
    return false;
  }
  signedPart = {{"_type", "snapshot"}, {"version", version}, {"expires", expires}, {"files", files}};
  return true;
}

std::string ExpiryInDays(int days) {
  return Windows::FormatUtcTime(Windows::CurrentTimeMillis() / 1000 + std::int64_t{days} * 86400);
}

bool CheckExpiry(const std::string& given, std::string& expires, std::string& error) {
  std::int64_t when = 0;
  // A date alone is that day's first second.
  if (!Windows::ParseUtcTime(given.size() == 10 ? given + "T00:00:00Z" : given, when)) {
    error = "'" + given + "' is not an expiry date YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ";
    return false;
  }
  if (when <= Windows::CurrentTimeMillis() / 1000) {
    error = "the expiry " + given + " is in the past";
    return false;
  }
  expires = Windows::FormatUtcTime(when);
  return true;
}

}  // namespace Kyrowan::Kyrpack
