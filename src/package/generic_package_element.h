#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "package/files_package_element.h"
#include "package/package_element_factory.h"
#include "package/python_run_lib_package.h"
#include "runtime/runtime.h"

namespace Kyrowan {

/// The element kind a manifest dependency of `dependencyType` becomes under a
/// package run by `runtimeType`; 0 when there is none.
int DependencyElementKind(int dependencyType, int runtimeType);

/// A package that runs code: files, plus the runtime it needs and the
/// packages it depends on (walked depth first, runtime package first).
template <typename Info>
class GenericPackageElement : public GenericPackageElementOnlyFiles<Info> {
  using Base = GenericPackageElementOnlyFiles<Info>;

 public:
  // The runtimes hold folders of elements that are going away.
  ~GenericPackageElement() override { ReleaseAllRuntimes(); }

  PkgResult_e Obtain() override;
  PkgResult_e CheckPresent() override;
  PkgResult_e Validate() override;
  PkgResult_e AttachToRuntime() override;
  PkgResult_e DetachFromRuntime() override;

  /// Takes `runtime` from the runtime registry once the manifest is complete.
  virtual bool AcquireRuntime();
  /// Builds `dependencies` from the manifest, once.
  virtual bool ResolveDependencies();

  const std::vector<std::shared_ptr<IKyrDecryptPackageElement>>& GetDependencies() const { return dependencies; }
  const std::wstring& GetLibraryFolder() const { return libraryFolder; }

 protected:
  using Base::Base;

  /// Checks the manifest, then obtains every dependency, depth first.
  PkgResult_e ObtainDependencies();
  /// Registers (`attach`) or unregisters this element's folder and its dependencies'.
  PkgResult_e ChangeRuntimeFolders(bool attach);
  /// A library asked for as "0.0.0" takes the highest installed version that
  /// validates; without one it stays "0.0.0", to be downloaded.
  void SettleOnInstalledVersion();
  /// Points the element at another version, forgetting what it read for the last one.
  void SwitchVersion(const std::wstring& wanted);

  bool versionSettled = false;

  std::wstring libraryFolder;
  std::shared_ptr<IKyrDecryptRuntime> runtime;
  std::vector<std::shared_ptr<IKyrDecryptPackageElement>> dependencies;
};

template <typename Info>
bool GenericPackageElement<Info>::AcquireRuntime() {
  if (runtime) return true;
  if (!IsComplete(this->info)) return false;
  const auto type = static_cast<std::uint32_t>(this->info.runtime.type);
  return GetRuntime(type, RuntimeTypeName(type), Windows::ToWide(this->info.runtime.version), runtime) == 1 &&
         runtime != nullptr;
}

template <typename Info>
bool GenericPackageElement<Info>::ResolveDependencies() {
  const Info& manifest = this->info;
  if (!IsComplete(manifest)) return false;
  if (!dependencies.empty()) return true;
  std::vector<std::shared_ptr<IKyrDecryptPackageElement>> resolved;
  // A dependency this tool knows but refuses (an unsafe name or version) is missing, not skipped.
  const auto add = [&resolved](int kind, const std::wstring& name, const std::wstring& version,
                                const std::vector<std::string>& hashes = {}) {
    std::shared_ptr<IKyrDecryptPackageElement> element;
    if (!CreatePackageElement(kind, name, version, element)) return false;
    if (auto pip = std::dynamic_pointer_cast<PythonRunLibPackage>(element)) pip->RequireHashes(hashes);
    resolved.push_back(element);
    return true;
  };
  const std::wstring runtimeVersion = Windows::ToWide(manifest.runtime.version);
  // A native runtime, or a Python one of no particular version, is no package.
  if (manifest.runtime.type == RuntimeTypePython && runtimeVersion != kLatestVersionWide &&
      !add(PkgKindPythonRuntime, RuntimeTypeName(manifest.runtime.type), runtimeVersion))
    return false;
  for (const DependencyEntry_s& entry : manifest.dependencies) {
    const int kind = DependencyElementKind(entry.type, manifest.runtime.type);
    // A kind this tool does not know is skipped.
    if (kind != 0 && !add(kind, Windows::ToWide(entry.name), Windows::ToWide(entry.version), entry.sha256))
      return false;
  }
  dependencies = std::move(resolved);
  return true;
}

template <typename Info>
void GenericPackageElement<Info>::SwitchVersion(const std::wstring& wanted) {
  this->version = wanted;
  this->SetUpPaths();
  this->info = Info{};
  dependencies.clear();
}

template <typename Info>
void GenericPackageElement<Info>::SettleOnInstalledVersion() {
  // Decryptors ask the server for their latest version instead.
  if constexpr (std::is_same_v<Info, LibPkgInfo_s>) {
    if (versionSettled || this->version != kLatestVersionWide) return;
    versionSettled = true;
    for (const std::wstring& installed : InstalledVersions(kLibrariesFolder, this->name)) {
      SwitchVersion(installed);
      if (Validate() == PkgOperationSucceeded) return;
    }
    SwitchVersion(kLatestVersionWide);
  }
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::CheckPresent() {
  SettleOnInstalledVersion();
  const PkgResult_e own = Base::CheckPresent();
  if (own != PkgFound) return own;
  if (!ResolveDependencies()) return PkgDependenciesMissing;
  for (const auto& dependency : dependencies) {
    const PkgResult_e status = dependency->CheckPresent();
    if (status != PkgFound) return status;
    AcquireRuntime();
  }
  return PkgFound;
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::Validate() {
  SettleOnInstalledVersion();
  if (this->GetCachedState() == 1) return PkgOperationSucceeded;
  PkgResult_e result = Base::Validate();
  if (result != PkgOperationSucceeded) {
    this->SetCachedState(0);
    return result;
  }
  for (const auto& dependency : dependencies) {
    result = dependency->Validate();
    if (result != PkgOperationSucceeded) break;
  }
  this->SetCachedState(result == PkgOperationSucceeded ? 1 : 0);
  return result;
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::ObtainDependencies() {
  if (!this->VerifyManifest()) return PkgRequiredFileInvalid;
  if (!ResolveDependencies()) return PkgDependenciesMissing;
  for (const auto& dependency : dependencies) {
    const PkgResult_e status = dependency->Obtain();
    if (status != PkgOperationSucceeded) return status;
    AcquireRuntime();
  }
  return PkgOperationSucceeded;
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::Obtain() {
  const bool fetched = Validate() != PkgOperationSucceeded;
  if (fetched) {
    const PkgResult_e installed = this->DownloadAndInstall();
    if (installed != PkgOperationSucceeded) return installed;
  }
  const PkgResult_e result = ObtainDependencies();
  // A version this attempt unpacked cannot run without them and is never recorded; a version
  // that was here before stays.
  if (result != PkgOperationSucceeded && fetched) this->RemoveMadeVersion();
  return result;
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::ChangeRuntimeFolders(bool attach) {
  if (!AcquireRuntime()) return PkgRuntimeMissing;
  const bool changed = attach ? runtime->AddLibraryPath(libraryFolder) : runtime->RemoveLibraryPath(libraryFolder);
  if (!changed) return PkgRunFailed;
  PkgResult_e result = PkgOperationSucceeded;
  for (const auto& dependency : dependencies) {
    result = attach ? dependency->AttachToRuntime() : dependency->DetachFromRuntime();
    if (result != PkgOperationSucceeded) break;
  }
  if (result != PkgOperationSucceeded) runtime->RemoveAllLibraryPaths();
  return result;
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::AttachToRuntime() {
  return ChangeRuntimeFolders(true);
}

template <typename Info>
PkgResult_e GenericPackageElement<Info>::DetachFromRuntime() {
  return ChangeRuntimeFolders(false);
}

}  // namespace Kyrowan
