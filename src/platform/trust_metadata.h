#pragma once
// The signed repository metadata's two files, read and checked: a root names the keys of
// each role and how many of them must sign; a snapshot names the length and SHA-256 of
// every other tree file. Both are {"signatures":[...],"signed":{...}} JSON, signed over
// the compact text of "signed" with every object's keys in ascending order.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/trust_crypto.h"

namespace Kyrowan::Windows {

/// The keys that may sign for a role, and how many of them must.
struct TrustRole {
  std::vector<std::string> keyIds;
  std::size_t threshold = 0;
};

/// A metadata file's signed part and its signatures.
struct SignedMetadata {
  std::string signedText;  ///< the bytes the signatures are over
  std::map<std::string, std::vector<std::string>> signatures;  ///< key id -> its Base64 signatures
};

struct TrustRoot {
  std::uint64_t version = 0;
  std::int64_t expires = 0;  ///< seconds since 1970 UTC
  std::map<std::string, MetadataKey> keys;
  TrustRole root;
  TrustRole snapshot;
  std::optional<TrustRole> packages;
  SignedMetadata file;
};

/// What a snapshot lists for one tree file.
struct TrustedFile {
  std::uint64_t length = 0;
  std::string sha256;
};

struct TrustSnapshot {
  std::uint64_t version = 0;
  std::int64_t expires = 0;
  std::map<std::string, TrustedFile> files;  ///< by tree path, no leading "/"
  SignedMetadata file;
};

/// "YYYY-MM-DDTHH:MM:SSZ" as seconds since 1970 UTC; false for any other text.
bool ParseUtcTime(std::string_view text, std::int64_t& seconds);
/// Seconds since 1970 UTC as "YYYY-MM-DDTHH:MM:SSZ".
std::string FormatUtcTime(std::int64_t seconds);

/// Reads a root file: every key RSA of at least 2048 bits and listed under the SHA-256 of its
/// SubjectPublicKeyInfo, every role's keys among them and its threshold reachable. `error`
/// says what is wrong otherwise.
bool ParseTrustRoot(std::string_view text, TrustRoot& root, std::string& error);
/// Reads a snapshot file.
bool ParseTrustSnapshot(std::string_view text, TrustSnapshot& snapshot, std::string& error);

/// Whether at least `role.threshold` different keys of `role`, as `keys` holds them, signed `file`.
bool MeetsThreshold(const SignedMetadata& file, const std::map<std::string, MetadataKey>& keys,
                    const TrustRole& role);

}  // namespace Kyrowan::Windows
