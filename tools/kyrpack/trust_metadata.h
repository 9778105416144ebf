#pragma once

// The signed repository metadata a publisher writes: the root of trust (which keys may
// sign what) and the snapshot (the length and SHA-256 of every file a client can fetch).

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Kyrowan::Kyrpack {

class Signer;

/// The exact bytes every signature of a metadata file covers: `signed` as compact JSON,
/// every object's keys in ascending order.
std::string SignedText(const nlohmann::json& signedPart);

/// {"signatures":[{"keyid","sig"}...],"signed":...}, each signer's RSA-SHA256 signature in Base64.
bool SignMetadata(const nlohmann::json& signedPart, const std::vector<const Signer*>& signers, std::string& file,
                  std::string& error);

/// One role of the root: the keys allowed to sign it and how many signatures it needs.
struct TrustRole {
  std::vector<std::string> publicPems;  ///< any RSA public key PEM; written as SPKI
  int threshold = 1;
};

/// What a root version says.
struct TrustRoot {
  std::uint64_t version = 1;
  std::string expires;  ///< YYYY-MM-DDTHH:MM:SSZ
  TrustRole root, snapshot;
  std::vector<std::string> packagesPems;  ///< optional; threshold 1
};

/// The signed part of a root; false with `error` naming the fault (a threshold above the
/// keys given, a key that is not RSA of at least 2048 bits).
bool BuildRootSigned(const TrustRoot& root, nlohmann::json& signedPart, std::string& error);

/// The signed part of a snapshot of the tree at `tree`: every file a client can request,
/// neither the trust files nor the publisher's own sources.
bool BuildSnapshotSigned(const std::string& tree, std::uint64_t version, const std::string& expires,
                         nlohmann::json& signedPart, std::string& error);

/// "YYYY-MM-DDTHH:MM:SSZ" for `days` days from now; an expiry given as a date
/// ("YYYY-MM-DD" or the full form) checked to lie in the future.
std::string ExpiryInDays(int days);
bool CheckExpiry(const std::string& given, std::string& expires, std::string& error);

}  // namespace Kyrowan::Kyrpack
