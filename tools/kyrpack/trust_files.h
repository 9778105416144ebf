#pragma once

// Writing the signed repository metadata into a published tree.

#include <memory>
#include <string>
#include <vector>

#include "kyrpack/trust_metadata.h"

namespace Kyrowan::Kyrpack {

/// Private keys loaded for signing, kept alive together.
struct SigningKeys {
  std::vector<std::unique_ptr<Signer>> owned;
  std::vector<const Signer*> Pointers() const;
  std::vector<std::string> PublicPems() const;
};

/// Loads every named private key and refuses one shorter than 2048 bits.
bool LoadSigningKeys(const std::vector<std::string>& paths, SigningKeys& keys, std::string& error);

/// Writes trust/root/1.json, signed by `rootKeys`; refuses a tree that has a root already.
bool InitTrust(const std::string& tree, const TrustRoot& root, const SigningKeys& rootKeys, std::string& report,
               std::string& error);

/// Writes trust/root/<N+1>.json for the newest root N, signed by `oldRootKeys` (a threshold of
/// root N's root role) and `rootKeys` (a threshold of its own).
bool RotateTrust(const std::string& tree, TrustRoot root, const SigningKeys& oldRootKeys,
                 const SigningKeys& rootKeys, std::string& report, std::string& error);

/// Signs the snapshot of the tree as it is, one version above the kept one, and puts it in
/// place atomically. False with `usage` set when a key is not the newest root's to sign with.
bool SignSnapshot(const std::string& tree, const std::string& expires, const SigningKeys& snapshotKeys,
                  std::string& report, std::string& error, bool& usage);

}  // namespace Kyrowan::Kyrpack
