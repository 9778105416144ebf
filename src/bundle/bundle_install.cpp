// kyrbundle install and list: the install pipeline with the bundle answering in place of
// the server.
#include <vector>

#include "app/package_manager.h"
#include "bundle/bundle_commands.h"
#include "bundle/bundle_session.h"
#include "bundle/bundle_tree.h"
#include "identify/index_store.h"
#include "package/package_file.h"
#include "platform/console.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/mapped_file.h"
#include "platform/repository_trust.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Bundle {

using namespace Windows;

namespace {

struct Wanted {
  std::wstring name;
  std::wstring version;
};

bool IsFolder(const std::wstring& path) {
  PathKind kind = PathKind::Other;
  return GetPathKind(path, kind) && kind == PathKind::Folder;
}

// The version the bundle names as the latest of `name`, or else the highest it holds.
bool ChooseVersion(const std::wstring& folder, const std::wstring& name, std::wstring& version) {
  int status = 0;
  std::string body;
  if (PathExists(BundleFilePath(folder, Protocol::LatestVersionQueryPath(name))) &&
      ServerGet(Protocol::LatestVersionQueryPath(name), {}, status, body) && !body.empty()) {
    version = FromUtf8(body);
    return true;
  }
  const std::vector<std::wstring> versions = BundledVersions(folder, name);
  if (versions.empty()) return false;
  version = versions.front();
  return true;
}

// What the command asks for: one decryptor, or every decryptor version the bundle holds.
bool ChooseWanted(const std::wstring& folder, const std::wstring& name, const std::wstring& version,
                  std::vector<Wanted>& wanted) {
  if (name.empty()) {
    for (const BundleFile& file : ListBundleFiles(folder))
      if (file.kind == L"decryptor" && file.version != kLatestVersionWide) wanted.push_back({file.name, file.version});
    return !wanted.empty();
  }
  std::wstring chosen = version;
  if (chosen == kLatestVersionWide && !ChooseVersion(folder, ToLowerText(name), chosen)) return false;
  wanted.push_back({name, chosen});
  return true;
}

// The bundle's identification index becomes the kept copy kyridentify falls back on.
bool KeepIndex(const std::wstring& folder) {
  if (!PathExists(BundleFilePath(folder, Protocol::WidePath(Protocol::kIdentifyPath)))) return true;
  Identify::ObtainedIndex obtained;
  Identify::ObtainIndex(obtained);
  if (obtained.serverRefused) {
    RecordSignatureFailure(L"the identification index",
                           BundleFilePath(folder, Protocol::WidePath(Protocol::kIdentifyPath)));
    ConsoleLine(L"The bundle's identification index failed its check and was not kept.");
    return false;
  }
  if (obtained.origin != Identify::IndexOrigin::Server || !obtained.kept) {
    ConsoleLine(L"The bundle's identification index could not be kept in the data folder.");
    return false;
  }
  ConsoleLine(L"Kept the bundle's identification index for kyridentify.");
  return true;
}

}  // namespace

int InstallFromBundle(const std::wstring& folder, const std::wstring& name, const std::wstring& version) {
  if (!IsFolder(folder)) {
    RecordCause(L"there is no folder " + folder);
    ConsoleLine(L"No bundle at " + folder + L".");
    return kExitRefused;
  }
  PipelineSession session;
  session.AnswerFromBundle(folder);
  std::vector<Wanted> wanted;
  if (!ChooseWanted(folder, name, version, wanted)) {
    RecordCause(L"the bundle " + folder + L" holds no decryptor" + (name.empty() ? L"" : L" " + name));
    ConsoleLine(L"The bundle holds no decryptor" + (name.empty() ? std::wstring(L".") : L" " + name + L"."));
    return kExitRefused;
  }
  bool allInstalled = true;
  for (const Wanted& one : wanted) {
    const PkgResult_e result = PackageManager::GetInstance()->GetPackage(one.name, one.version);
    if (result == PkgOperationSucceeded) {
      ConsoleLine(L"Installed " + one.name + L" " + one.version + L" from the bundle.");
    } else {
      ConsoleLine(L"Did not install " + one.name + L" " + one.version + L": " + PkgResultMessages[result]);
      allInstalled = false;
    }
  }
  allInstalled = KeepIndex(folder) && allInstalled;
  const std::string expired = ExpiredMetadataNote();
  if (!expired.empty())
    ConsoleLine(L"The bundle's signed repository metadata is out of date (" + FromUtf8(expired) +
                L"); it was used all the same.");
  return allInstalled ? kExitDone : kExitRefused;
}

int ListBundle(const std::wstring& folder) {
  if (!IsFolder(folder)) {
    RecordCause(L"there is no folder " + folder);
    ConsoleLine(L"No bundle at " + folder + L".");
    return kExitRefused;
  }
  bool allPass = true;
  const auto show = [&](const std::wstring& what, bool passes) {
    ConsoleLine(what + (passes ? L": signature good" : L": FAILS its check"));
    allPass = allPass && passes;
  };
  const std::vector<BundleFile> files = ListBundleFiles(folder);
  for (const BundleFile& file : files) {
    MappedFile package(file.path);
    PackageFileHeader header;
    const bool passes = package.OpenUnmapped() && VerifyPackageFile(package, header);
    if (!passes) RecordSignatureFailure(file.name + L" " + file.version, file.path);
    show(file.kind + L" " + file.name + L" " + (file.version == kLatestVersionWide ? L"latest" : file.version), passes);
  }
  const std::wstring index = BundleFilePath(folder, Protocol::WidePath(Protocol::kIdentifyPath));
  if (PathExists(index)) {
    Identify::HintIndex hints;
    const bool passes = Identify::LoadSignedIndex(index, hints) == Identify::IndexLoad::Loaded;
    if (!passes) RecordSignatureFailure(L"the identification index", index);
    show(L"identification index", passes);
  }
  std::vector<FolderEntry> wheels;
  ListFolderEntries(WheelsFolder(folder), wheels);
  if (!wheels.empty())
    ConsoleLine(std::to_wstring(wheels.size()) + L" pip library files in wheels (pip checks them as it installs them)");
  if (files.empty()) {
    RecordCause(L"the folder " + folder + L" holds no package files");
    ConsoleLine(L"The bundle holds no package files.");
    return kExitRefused;
  }
  return allPass ? kExitDone : kExitRefused;
}

}  // namespace Kyrowan::Bundle
