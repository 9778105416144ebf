#pragma once

#include <filesystem>
#include <string>

namespace Kyrowan::Kyrpack {

class Signer;
struct FamilyHints;

/// Sets one decryptor's hints in the tree's hints source, or with `remove` deletes them,
/// and writes the index signed afresh. Hints may only name a decryptor the tree publishes:
/// a victim sent to get a decryptor the server lacks is at a dead end.
bool SetHints(const std::filesystem::path& root, const FamilyHints& hints, bool remove, const Signer& signer,
              std::string& report, std::string& error);

/// Signs the index again from the tree's hints source, leaving out the decryptors the tree
/// no longer publishes; nothing when the tree has no hints source. Without a signer it
/// only reports an index that no longer matches the tree.
bool UpdateIdentifyIndex(const std::filesystem::path& root, const Signer* signer, std::string& report,
                         std::string& error);

}  // namespace Kyrowan::Kyrpack
