// kyrbundle fetch: an install into a scratch data root, whose checked package files are
// then copied into the bundle at the paths of the requests they answered.
#include <nlohmann/json.hpp>

#include "app/package_manager.h"
#include "bundle/bundle_commands.h"
#include "bundle/bundle_session.h"
#include "bundle/bundle_tree.h"
#include "identify/index_store.h"
#include "package/package_file.h"
#include "platform/build_config.h"
#include "platform/console.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/guid.h"
#include "platform/http_client.h"
#include "platform/key_fingerprint.h"
#include "platform/mapped_file.h"
#include "platform/repository_trust.h"
#include "platform/run_summary.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Bundle {

using namespace Windows;

namespace {

/// A file as downloaded, before any check: copied aside, because the install that checks
/// it moves its folder.
struct StagedFile {
  std::wstring urlPath;
  std::wstring copy;
};

std::wstring ScratchFolder() {
  std::wstring guid;
  std::wstring folder;
  if (CreateGuidText(guid) != 0 || !GetTemporaryFolder(folder)) return {};
  return folder + kPathSeparator + L"kyrbundle-" + guid.substr(1, guid.size() - 2);
}

// The server's identification index, when it has one, checked as kyridentify checks it.
// False only for an index that fails its check; a server without one is no failure.
bool FetchIndex(const std::wstring& folder, const std::wstring& scratch) {
  const std::wstring download = scratch + kPathSeparator + L"index";
  const std::wstring urlPath = Protocol::WidePath(Protocol::kIdentifyPath);
  if (!ServerDownloadToFile(urlPath, download, Protocol::kMaxIndexFileBytes)) {
    TakeCauses();  // not every server publishes one
    return true;
  }
  Identify::HintIndex index;
  if (Identify::LoadSignedIndex(download, index) != Identify::IndexLoad::Loaded) {
    RecordSignatureFailure(L"the identification index", urlPath);
    ConsoleLine(L"The server's identification index failed its check and was not put in the bundle.");
    return false;
  }
  return CopyIntoBundle(download, BundleFilePath(folder, urlPath));
}

// The pip libraries downloaded for the install, into the bundle's wheels.
bool CopyWheels(const std::wstring& folder, const std::wstring& wheels) {
  std::vector<FolderEntry> entries;
  if (!ListFolderEntries(wheels, entries)) return true;  // none were needed
  bool copied = true;
  for (const FolderEntry& entry : entries)
    if (entry.kind == PathKind::File)
      copied = CopyIntoBundle(wheels + kPathSeparator + entry.name, WheelsFolder(folder) + kPathSeparator + entry.name) &&
               copied;
  return copied;
}

// A small tree file written whole, its folders made.
bool WriteTreeText(const std::wstring& path, const std::string& text) {
  std::wstring parent;
  if (!path.empty() && GetParentFolder(path, parent) && CreateFolderTree(parent) && WriteNewFile(path, text))
    return true;
  RecordFileFailure(L"write", path, LastOsError());
  return false;
}

// The copies a fetch at the latest word adds, as a published tree has them: the latest
// version text, and the decryptor as its "0.0.0" file.
bool AddLatestCopies(const std::wstring& folder, const std::wstring& name, const std::wstring& version) {
  const std::wstring file = BundleFilePath(folder, Protocol::DecryptorDownloadPath(name, version));
  if (!WriteTreeText(BundleFilePath(folder, Protocol::LatestVersionQueryPath(name)), ToUtf8(version))) return false;
  return CopyIntoBundle(file, BundleFilePath(folder, Protocol::DecryptorDownloadPath(name, kLatestVersionWide)));
}

// The signed repository metadata the fetch was checked against, for install to check the
// bundle against: every root of the chain and the snapshot.
bool CopyTrustFiles(const std::wstring& folder) {
  if (!RepositoryTrustEnabled()) return true;
  const auto copy = [&folder](const std::wstring& path, std::uint64_t maxBytes, int& status) {
    std::string body;
    return ServerGetMetadata(path, maxBytes, status, body) && WriteTreeText(BundleFilePath(folder, path), body);
  };
  int status = 0;
  const auto steps = static_cast<std::uint64_t>(Protocol::kMaxTrustRootSteps);
  for (std::uint64_t version = 1;
       version <= steps + 1 && copy(Protocol::WideTrustRootPath(version), Protocol::kMaxTrustRootBytes, status);
       ++version) {
  }
  if (status != 404) return false;
  TakeCauses();  // the 404 that ends the chain
  return copy(Protocol::WidePath(Protocol::kTrustSnapshotPath), Protocol::kMaxTrustSnapshotBytes, status);
}

// "bundle.json": what was fetched, when, from where and for which key, for people to read.
void NoteFetch(const std::wstring& folder, const std::wstring& name, const std::wstring& version) {
  const std::wstring path = folder + kPathSeparator + L"bundle.json";
  nlohmann::json note = nlohmann::json::object();
  MappedFile existing(path);
  if (existing.Open()) {
    note = nlohmann::json::parse(existing.data, existing.data + existing.fileSize, nullptr, false);
    if (!note.is_object()) note = nlohmann::json::object();
  }
  std::string fingerprint;
  PublicKeyFingerprint(BuildConfig::SigningKeyPem(), fingerprint);
  note["note"] = "Information for people only: kyrbundle install trusts nothing in this file and checks "
                 "every package file against the signing key built into it.";
  if (!note["fetched"].is_array()) note["fetched"] = nlohmann::json::array();
  note["fetched"].push_back({{"name", ToUtf8(name)},
                             {"version", ToUtf8(version)},
                             {"time", UtcTimestamp()},
                             {"server", std::string(BuildConfig::ServerHost()) + ":" + std::to_string(BuildConfig::ServerPort())},
                             {"signingKeySha256", fingerprint}});
  if (!WriteNewFile(path, note.dump(2) + "\n")) RecordFileFailure(L"write", path, LastOsError());
}

bool FetchInScratch(const std::wstring& folder, const std::wstring& scratch, const std::wstring& name,
                    const std::wstring& version) {
  std::vector<StagedFile> staged;
  bool stagedAll = true;
  std::wstring fetchedVersion;
  PkgResult_e result = PkgOperationFailed;
  bool indexPassed = true;
  {
    PipelineSession session;
    session.UseDataRoot(scratch + kPathSeparator + L"root");
    session.DownloadPipLibrariesTo(scratch + kPathSeparator + L"wheels");
    indexPassed = FetchIndex(folder, scratch);
    SetDownloadObserver([&](const std::wstring& urlPath, const std::wstring& file) {
      const std::wstring copy = scratch + kPathSeparator + L"staged" + kPathSeparator + std::to_wstring(staged.size());
      if (CopyIntoBundle(file, copy)) staged.push_back({urlPath, copy});
      else stagedAll = false;
    });
    result = PackageManager::GetInstance()->GetPackage(name, version);
    if (result == PkgOperationSucceeded) PackageManager::GetInstance()->FindLatestVersion(name, fetchedVersion);
    SetDownloadObserver({});
    if (result == PkgOperationSucceeded && !CopyTrustFiles(folder)) result = PkgDownloadFailed;
  }
  if (result != PkgOperationSucceeded || !stagedAll) {
    ConsoleLine(L"Could not fetch " + name + L" " + version + L": " + PkgResultMessages[result]);
    return false;
  }
  bool written = true;
  for (const StagedFile& file : staged) written = CopyIntoBundle(file.copy, BundleFilePath(folder, file.urlPath)) && written;
  written = CopyWheels(folder, scratch + kPathSeparator + L"wheels") && written;
  if (version == kLatestVersionWide) written = written && AddLatestCopies(folder, ToLowerText(name), fetchedVersion);
  if (!written) {
    ConsoleLine(L"Could not write the bundle " + folder + L".");
    return false;
  }
  NoteFetch(folder, name, fetchedVersion);
  ConsoleLine(L"Fetched " + name + L" " + fetchedVersion + L" into " + folder + L" (" + std::to_wstring(staged.size()) +
              L" package files).");
  return indexPassed;
}

}  // namespace

int FetchIntoBundle(const std::wstring& folder, const std::wstring& name, const std::wstring& version) {
  if (!CreateFolderTree(folder)) {
    RecordFileFailure(L"create", folder, LastOsError());
    ConsoleLine(L"Could not create the bundle folder " + folder + L".");
    return kExitRefused;
  }
  const std::wstring scratch = ScratchFolder();
  if (scratch.empty() || !CreateFolderTree(scratch)) {
    RecordFileFailure(L"create", scratch, LastOsError());
    ConsoleLine(L"Could not create a scratch folder for the download.");
    return kExitRefused;
  }
  const bool fetched = FetchInScratch(folder, scratch, name, version);
  RemoveFolderTree(scratch);
  return fetched ? kExitDone : kExitRefused;
}

}  // namespace Kyrowan::Bundle
