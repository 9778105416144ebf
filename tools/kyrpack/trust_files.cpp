#include "kyrpack/trust_files.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "kyrpack/signer.h"
#include "kyrpack/tree_files.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Kyrpack {

namespace {

using Json = nlohmann::json;

std::string RootFile(std::uint64_t version) { return Protocol::TreeFilePath(Protocol::TrustRootPath(version)); }

// The newest root version the tree holds, 0 when it has none; roots are numbered without gaps.
std::uint64_t NewestRootVersion(const std::filesystem::path& tree) {
  std::uint64_t version = 0;
  while (std::filesystem::exists(tree / RootFile(version + 1))) ++version;
  return version;
}

bool ReadSigned(const std::filesystem::path& path, Json& signedPart, std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(path.string(), bytes)) {
    error = "cannot read '" + path.string() + "'";
    return false;
  }
  const Json file = Json::parse(bytes, nullptr, false);
  if (!file.is_object() || !file.contains("signed") || !file["signed"].is_object()) {
    error = "'" + path.string() + "' is not signed metadata";
    return false;
  }
  signedPart = file["signed"];
  return true;
}

// Every key must be one the role lists, and together they must meet its threshold.
bool CheckRoleKeys(const Json& rootSigned, const char* role, const SigningKeys& keys, std::string& error) {
  const Json& entry = rootSigned["roles"][role];
  const Json& ids = entry["keyids"];
  std::set<std::string> distinct;
  for (const auto& signer : keys.owned) {
    if (std::find(ids.begin(), ids.end(), signer->KeyId()) == ids.end()) {
      error = "the key " + signer->KeyId() + " is not in the " + role + " role of root version " +
              std::to_string(rootSigned["version"].get<std::uint64_t>());
      return false;
    }
    distinct.insert(signer->KeyId());
  }
  const auto threshold = entry["threshold"].get<std::size_t>();
  if (distinct.size() < threshold) {
    error = "the " + std::string(role) + " role needs " + std::to_string(threshold) + " keys; " +
            std::to_string(distinct.size()) + " given";
    return false;
  }
  return true;
}

bool WriteRoot(const std::filesystem::path& tree, const TrustRoot& root, const std::vector<const Signer*>& signers,
               std::string& report, std::string& error) {
  Json signedPart;
  std::string file;
  return BuildRootSigned(root, signedPart, error) && SignMetadata(signedPart, signers, file, error) &&
         PutTreeFile(tree, RootFile(root.version), file, report, error);
}

}  // namespace

std::vector<const Signer*> SigningKeys::Pointers() const {
  std::vector<const Signer*> pointers;
  for (const auto& signer : owned) pointers.push_back(signer.get());
  return pointers;
}

std::vector<std::string> SigningKeys::PublicPems() const {
  std::vector<std::string> pems;
  for (const auto& signer : owned) pems.push_back(signer->SpkiPem());
  return pems;
}

bool LoadSigningKeys(const std::vector<std::string>& paths, SigningKeys& keys, std::string& error) {
  for (const std::string& path : paths) {
    std::unique_ptr<Signer> signer = Signer::Load(path, error);
    if (!signer) return false;
    if (signer->Bits() < kMinimumTrustKeyBits) {
      error = "the key '" + path + "' has " + std::to_string(signer->Bits()) + " bits; at least 2048 are needed";
      return false;
    }
    keys.owned.push_back(std::move(signer));
  }
  return true;
}

bool InitTrust(const std::string& tree, const TrustRoot& root, const SigningKeys& rootKeys, std::string& report,
               std::string& error) {
  const std::filesystem::path base = std::filesystem::u8path(tree);
  if (NewestRootVersion(base) != 0) {
    error = "'" + tree + "' has a root already; use trust rotate";
    return false;
  }
  TrustRoot first = root;
  first.version = 1;
  return WriteRoot(base, first, rootKeys.Pointers(), report, error);
}

bool RotateTrust(const std::string& tree, TrustRoot root, const SigningKeys& oldRootKeys,
                 const SigningKeys& rootKeys, std::string& report, std::string& error) {
  const std::filesystem::path base = std::filesystem::u8path(tree);
  const std::uint64_t newest = NewestRootVersion(base);
  Json previous;
  if (newest == 0) {
    error = "'" + tree + "' has no root yet; use trust init";
    return false;
  }
  if (!ReadSigned(base / RootFile(newest), previous, error) || !CheckRoleKeys(previous, "root", oldRootKeys, error))
    return false;
  root.version = newest + 1;
  std::vector<const Signer*> signers = oldRootKeys.Pointers();
  for (const Signer* signer : rootKeys.Pointers()) {
    const bool known = std::any_of(signers.begin(), signers.end(),
                                   [&](const Signer* other) { return other->KeyId() == signer->KeyId(); });
    if (!known) signers.push_back(signer);
  }
  return WriteRoot(base, root, signers, report, error);
}

bool SignSnapshot(const std::string& tree, const std::string& expires, const SigningKeys& snapshotKeys,
                  std::string& report, std::string& error, bool& usage) {
  usage = false;
  const std::filesystem::path base = std::filesystem::u8path(tree);
  const std::uint64_t newest = NewestRootVersion(base);
  Json rootSigned;
  if (newest == 0) {
    error = "'" + tree + "' has no root yet; use trust init";
    return false;
  }
  if (!ReadSigned(base / RootFile(newest), rootSigned, error)) return false;
  if (!CheckRoleKeys(rootSigned, "snapshot", snapshotKeys, error)) {
    usage = true;
    return false;
  }
  const std::string snapshotFile = Protocol::TreeFilePath(Protocol::kTrustSnapshotPath);
  std::uint64_t version = 1;
  Json kept;
  if (std::filesystem::exists(base / snapshotFile)) {
    if (!ReadSigned(base / snapshotFile, kept, error)) return false;
    if (kept.contains("version") && kept["version"].is_number_unsigned())
      version = kept["version"].get<std::uint64_t>() + 1;
  }
  Json signedPart;
  std::string file;
  return BuildSnapshotSigned(tree, version, expires, signedPart, error) &&
         SignMetadata(signedPart, snapshotKeys.Pointers(), file, error) &&
         PutTreeFile(base, snapshotFile, file, report, error);
}

}  // namespace Kyrowan::Kyrpack
