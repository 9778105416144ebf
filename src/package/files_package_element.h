#pragma once

#include <string>
#include <vector>

#include "catalogue/version.h"
#include "package/manifest.h"
#include "package/package_element.h"
#include "package/package_file.h"
#include "package/package_install.h"
#include "package/package_paths.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/progress_line.h"
#include "platform/signature_verifier.h"
#include "platform/text.h"

namespace Kyrowan {

/// A package that is only files: a manifest (`Info`), the files it signs, and
/// the download → verify → unpack → install pipeline.
template <typename Info>
class GenericPackageElementOnlyFiles : public IKyrDecryptPackageElement {
 public:
  PkgResult_e Obtain() override;
  PkgResult_e CheckPresent() override;
  PkgResult_e Validate() override;
  PkgResult_e AttachToRuntime() override { return PkgOperationSucceeded; }
  PkgResult_e DetachFromRuntime() override { return PkgOperationSucceeded; }

  /// Fills `downloadUrl` and the paths from `name` and `version`.
  virtual bool SetUpPaths() = 0;
  /// Reads `manifestPath` into `info` unless `info` is already complete.
  virtual bool LoadManifest();
  /// Loads the manifest, checks its name and its signature.
  virtual bool VerifyManifest();
  /// Full path of a manifest file entry.
  virtual bool ResolveFilePath(const std::string& relative, std::wstring& out) const;
  virtual bool Download();
  /// Downloads, verifies, unpacks and installs. A failed download takes away the empty folders
  /// it made; a failure after it, the version folder too when the attempt made it.
  PkgResult_e DownloadAndInstall();
  /// Takes away the version folder the last DownloadAndInstall made, with all it unpacked, and
  /// the empty folders above it that it made; a folder that stood there before stays.
  void RemoveMadeVersion();
  /// Verifies and unpacks the downloaded package file, then installs it.
  virtual PkgResult_e UnpackAndInstall();
  /// Adopts the manifest's version and moves the unpacked folder to its place.
  virtual PkgResult_e Install();

  const Info& GetInfo() const { return info; }
  const std::wstring& GetDownloadUrl() const { return downloadUrl; }
  const std::wstring& GetFilesFolder() const { return filesFolder; }
  const std::wstring& GetInstallFolder() const { return installFolder; }
  const std::wstring& GetManifestPath() const { return manifestPath; }
  const std::wstring& GetArchivePath() const { return archivePath; }

 protected:
  using IKyrDecryptPackageElement::IKyrDecryptPackageElement;

  /// Empties every path, so that an element whose paths could not be made fails every file operation.
  void ClearPaths() {
    downloadUrl.clear();
    filesFolder.clear();
    installFolder.clear();
    manifestPath.clear();
    archivePath.clear();
  }
  /// Takes the folders of a package of this name and version under `typeFolder`.
  bool AdoptFolders(std::wstring_view typeFolder) {
    PackageFolders folders;
    if (!BuildPackageFolders(typeFolder, name, version, folders)) return false;
    installFolder = folders.installFolder;
    filesFolder = folders.filesFolder;
    manifestPath = folders.manifestPath;
    archivePath = folders.archivePath;
    return true;
  }

  /// The folders the last DownloadAndInstall made above its package file, innermost first.
  std::vector<std::wstring> madeFolders;
  /// Whether the folder the version now lives in was made by the last DownloadAndInstall.
  bool madeInstallFolder = false;

  Info info{};
  std::wstring downloadUrl;
  std::wstring filesFolder;
  std::wstring installFolder;
  std::wstring manifestPath;
  std::wstring archivePath;
};

template <typename Info>
bool GenericPackageElementOnlyFiles<Info>::LoadManifest() {
  if (IsComplete(info)) return true;
  Windows::MappedFile file(manifestPath);
  if (manifestPath.empty() || !file.Open()) return false;
  return ParseManifest(file.data, static_cast<std::size_t>(file.fileSize), info);
}

template <typename Info>
bool GenericPackageElementOnlyFiles<Info>::VerifyManifest() {
  if (!LoadManifest()) {
    Windows::RecordCause(L"the manifest of " + Label() + L" cannot be read: " + manifestPath);
    return false;
  }
  // Case-sensitive on purpose: the manifest must carry the lower-case name.
  if (Windows::ToWide(info.name) != name) {
    Windows::RecordCause(L"the manifest " + manifestPath + L" is not that of " + name);
    return false;
  }
  const std::string text = SignedText(info);
  if (!AcquireVerifier()) return false;
  const auto length = static_cast<std::uint32_t>(text.size());
  if (verifier->VerifyBufferSignature(text.data(), length, info.signature)) return true;
  RecordSignatureFailure(Label(), manifestPath);
  return false;
}

template <typename Info>
bool GenericPackageElementOnlyFiles<Info>::ResolveFilePath(const std::string& relative, std::wstring& out) const {
  std::wstring path = Windows::ToWide(relative);
  for (wchar_t& c : path) {
    if (c == L'/' || c == L'\\') c = Windows::kPathSeparator;
  }
  out = filesFolder + path;
  return !out.empty();
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::CheckPresent() {
  // A "0.0.0" folder is a download that was never moved to its version: not installed.
  if (version == kLatestVersionWide || !Windows::PathExists(filesFolder)) {
    Windows::RecordCause(Label() + L" is not installed here");
    return PkgNotFound;
  }
  if (!VerifyManifest()) return PkgRequiredFileInvalid;
  // A folder counts only for the version it is named by.
  if (!Windows::EqualsIgnoreCase(Windows::ToWide(info.version), version)) return PkgRequiredFileInvalid;
  for (const FileEntry_s& file : info.files) {
    std::wstring path;
    if (!ResolveFilePath(file.name, path) || !Windows::PathExists(path)) return PkgFilesMissing;
  }
  return PkgFound;
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::Validate() {
  if (GetCachedState() == 1) return PkgOperationSucceeded;
  const PkgResult_e present = CheckPresent();
  if (present != PkgFound) {
    SetCachedState(0);
    return present;
  }
  // The check of a large package takes a while: shown on a terminal once it passes a second.
  std::uint64_t totalBytes = 0;
  for (const FileEntry_s& file : info.files) {
    Windows::MappedFile sized(L"");
    if (ResolveFilePath(file.name, sized.path) && sized.OpenUnmapped()) totalBytes += sized.fileSize;
  }
  Windows::ProgressLine progress("checking " + Windows::PrintableText(Windows::ToUtf8(name + L" " + version)),
                                 totalBytes, std::chrono::seconds(1));
  PkgResult_e result = PkgOperationSucceeded;
  for (const FileEntry_s& file : info.files) {
    std::wstring path;
    if (!ResolveFilePath(file.name, path)) {
      result = PkgFilesMissing;
      break;
    }
    // The manifest carries its own signature, checked by VerifyManifest.
    if (IsSamePath(path, manifestPath)) continue;
    if (!verifier->VerifyFileSignature(path, file.signature, &progress)) {
      RecordSignatureFailure(Label(), path);
      result = PkgFilesInvalid;
      break;
    }
  }
  SetCachedState(result == PkgOperationSucceeded ? 1 : 0);
  return result;
}

template <typename Info>
bool GenericPackageElementOnlyFiles<Info>::Download() {
  if (downloadUrl.empty() || archivePath.empty()) return false;
  if (DownloadPackageFile(downloadUrl, archivePath)) return true;
  const Windows::FailureCause* cause = Windows::LatestCause();
  if (cause && cause->httpStatus == 404)
    Windows::AmendLatestCause(kind == PkgKindDecryptor ? L": no decryptor of that name or version"
                                                       : L": no package of that name or version");
  return false;
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::UnpackAndInstall() {
  if (!Windows::PathExists(archivePath)) return PkgFilesMissing;
  if (!VerifyAndUnpackPackage(archivePath, installFolder, Label())) {
    // A refused package file has nothing to offer a later run: it is not kept.
    Windows::RemoveFile(archivePath);
    return PkgFilesInvalid;
  }
  const PkgResult_e result = Install();
  if (result == PkgOperationSucceeded) SetCachedState(1);
  return result;
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::Install() {
  if (!VerifyManifest()) return PkgRequiredFileInvalid;
  const std::wstring installed = Windows::ToWide(info.version);
  // A stale or hostile mirror may answer with another signed version than the
  // one asked for; and "0.0.0" never names an installed version.
  const bool asked = version == kLatestVersionWide || Windows::EqualsIgnoreCase(installed, version);
  if (!asked || installed == kLatestVersionWide) {
    // What was unpacked is not the package asked for: none of it stays in its place.
    Windows::RemoveFolderTree(filesFolder);
    return PkgRequiredFileInvalid;
  }
  const std::wstring oldFolder = installFolder;
  version = installed;
  // A manifest version that is no safe folder name makes no paths.
  if (!SetUpPaths()) return PkgInstallFailed;
  if (IsSamePath(installFolder, oldFolder)) return PkgOperationSucceeded;
  madeInstallFolder = !Windows::PathExists(installFolder);
  return MoveInstallFolder(oldFolder, installFolder);
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::DownloadAndInstall() {
  // Whatever was wrong with the copy here, a fresh download replaces it.
  Windows::TakeCauses();
  madeFolders = MissingFoldersAbove(archivePath);
  madeInstallFolder = !madeFolders.empty();
  const bool downloaded = Download();
  const PkgResult_e result = downloaded ? UnpackAndInstall() : PkgDownloadFailed;
  if (result == PkgOperationSucceeded) return result;
  // After a failed download only empty folders go: another run may be writing the same file.
  // What a download unpacked and could not install is of no use to anyone.
  if (downloaded) RemoveMadeVersion();
  else RemoveEmptyFolders(madeFolders);
  return result;
}

template <typename Info>
void GenericPackageElementOnlyFiles<Info>::RemoveMadeVersion() {
  if (madeInstallFolder) Windows::RemoveFolderTree(installFolder);
  RemoveEmptyFolders(madeFolders);
  // The install noted this version as checked; later asks in this run must look again.
  SetCachedState(0);
}

template <typename Info>
PkgResult_e GenericPackageElementOnlyFiles<Info>::Obtain() {
  if (Validate() == PkgOperationSucceeded) return PkgOperationSucceeded;
  return DownloadAndInstall();
}

}  // namespace Kyrowan
