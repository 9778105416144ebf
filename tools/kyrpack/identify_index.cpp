#include "kyrpack/identify_index.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "kyrpack/hints.h"
#include "kyrpack/packer.h"
#include "kyrpack/signer.h"
#include "kyrpack/tree_files.h"
#include "kyrpack/tree_layout.h"
#include "package/package_header.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Kyrpack {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool IsPublished(const fs::path& root, const std::string& decryptor) {
  std::error_code code;
  return fs::is_regular_file(root / Tree::LatestVersionPath(decryptor), code);
}

bool HasSource(const fs::path& root) {
  std::error_code code;
  return fs::exists(root / Tree::HintsSourcePath(), code);
}

// Every entry is checked again: the source may have been edited by hand.
bool ReadSource(const fs::path& root, std::vector<FamilyHints>& families, std::string& error) {
  families.clear();
  const std::string path = (root / Tree::HintsSourcePath()).string();
  std::string text;
  if (!HasSource(root)) return true;
  if (!ReadWholeFile(path, text)) {
    error = "cannot read '" + path + "'";
    return false;
  }
  try {
    json::parse(text).at("families").get_to(families);
  } catch (const json::exception& problem) {
    error = "'" + path + "' is not a hints file: " + problem.what();
    return false;
  }
  for (const FamilyHints& hints : families) {
    if (!CheckHints(hints, error)) {
      error = path + ": " + error;
      return false;
    }
  }
  return true;
}

// The hints of the decryptors the tree publishes, as the index lists them.
json PublishedFamilies(const fs::path& root, const std::vector<FamilyHints>& families, std::string& report) {
  json published = json::array();
  for (const FamilyHints& hints : families) {
    if (IsPublished(root, hints.decryptor)) published.push_back(hints);
    else report += "left out of the index: hints for '" + hints.decryptor + "', which the tree does not publish\n";
  }
  return published;
}

/// What the tree's index holds now; version 0 when there is no index it can read.
struct CurrentIndex {
  std::uint64_t version = 0;
  json families;
};

// Read unverified: only the counter and the families are taken, to tell what changed.
CurrentIndex ReadCurrentIndex(const fs::path& root) {
  CurrentIndex current;
  std::string bytes;
  PackageFileHeader header;
  if (!ReadWholeFile((root / Tree::IdentifyPath()).string(), bytes) ||
      !ReadPackageHeader(bytes.data(), static_cast<std::int64_t>(bytes.size()), header))
    return current;
  const json index = json::parse(bytes.substr(kPackageHeaderSize, header.payloadLength), nullptr, false);
  const auto version = index.is_object() ? index.find("version") : index.end();
  if (version == index.end() || !version->is_string() || !index.contains("families")) return current;
  const std::string text = version->get<std::string>();
  std::uint64_t number = 0;
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (code != std::errc() || end != text.data() + text.size()) return current;
  current.version = number;
  current.families = index["families"];
  return current;
}

// The version counts up whenever the families change, so clients can tell two indexes apart.
bool SignIndex(const fs::path& root, const json& families, const Signer& signer, std::string& bytes,
               std::string& error) {
  const CurrentIndex current = ReadCurrentIndex(root);
  const std::uint64_t version =
      current.version != 0 && current.families == families ? current.version : current.version + 1;
  std::string payload = json{{"version", std::to_string(version)}, {"families", families}}.dump() + "\n";
  // The package-file check wants a payload longer than its signature; JSON may end in spaces.
  const std::size_t minimum = signer.SignatureSize() + 1;
  if (payload.size() < minimum) payload.insert(payload.size() - 1, minimum - payload.size(), ' ');
  // Every client would refuse a larger index and keep using its old copy.
  const std::size_t size = kPackageHeaderSize + payload.size() + signer.SignatureSize();
  if (size > static_cast<std::size_t>(Protocol::kMaxIndexFileBytes)) {
    error = "the index would be " + std::to_string(size) + " bytes; clients take at most " +
            std::to_string(Protocol::kMaxIndexFileBytes);
    return false;
  }
  return SignPackageFile(payload, signer, bytes, error);
}

}  // namespace

bool SetHints(const fs::path& root, const FamilyHints& hints, bool remove, const Signer& signer,
              std::string& report, std::string& error) {
  report.clear();
  std::error_code code;
  if (!fs::is_directory(root, code)) {
    error = "'" + root.string() + "' is not a folder";
    return false;
  }
  if (!CheckHints(hints, error)) return false;
  if (!remove && !IsPublished(root, hints.decryptor)) {
    error = "the tree publishes no decryptor '" + hints.decryptor + "'; publish it first";
    return false;
  }
  std::vector<FamilyHints> families;
  if (!ReadSource(root, families, error)) return false;
  const auto same = std::find_if(families.begin(), families.end(),
                                 [&](const FamilyHints& entry) { return entry.decryptor == hints.decryptor; });
  if (remove && same == families.end()) {
    error = "'" + hints.decryptor + "' has no hints to remove";
    return false;
  }
  if (remove) families.erase(same);
  else if (same != families.end()) *same = hints;
  else families.insert(std::upper_bound(families.begin(), families.end(), hints,
                                        [](const FamilyHints& a, const FamilyHints& b) {
                                          return a.decryptor < b.decryptor;
                                        }),
                       hints);
  // Signed before anything is written: a key that cannot sign leaves the tree as it was.
  std::string index;
  return SignIndex(root, PublishedFamilies(root, families, report), signer, index, error) &&
         PutTreeFile(root, Tree::HintsSourcePath(), json{{"families", families}}.dump(2) + "\n", report, error) &&
         PutTreeFile(root, Tree::IdentifyPath(), index, report, error);
}

bool UpdateIdentifyIndex(const fs::path& root, const Signer* signer, std::string& report, std::string& error) {
  std::vector<FamilyHints> families;
  if (!HasSource(root)) return true;
  if (!ReadSource(root, families, error)) return false;
  const json published = PublishedFamilies(root, families, report);
  if (signer == nullptr) {
    const CurrentIndex current = ReadCurrentIndex(root);
    if (current.version == 0 || current.families != published)
      report += Tree::IdentifyPath() + " no longer matches the tree; publish with --key to sign it again\n";
    return true;
  }
  std::string index;
  return SignIndex(root, published, *signer, index, error) &&
         PutTreeFile(root, Tree::IdentifyPath(), index, report, error);
}

}  // namespace Kyrowan::Kyrpack
