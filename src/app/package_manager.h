#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "catalogue/package_catalogue.h"
#include "catalogue/pkg_result.h"

namespace Kyrowan {

/// The process-wide package service behind the package commands; it owns the
/// data folder's local record of downloaded decryptors.
class PackageManager {
 public:
  /// The manager, created and initialised on the first call.
  static PackageManager* GetInstance();
  /// Saves what must outlive the run and destroys the manager; no-op without one.
  static void DestroyInstance();

  PackageManager(const PackageManager&) = delete;
  PackageManager& operator=(const PackageManager&) = delete;

  /// -list: fetches the server list and fills `display` with it (or, failing that,
  /// with the local catalogue), marking local versions; 1 if the server list was fetched.
  int ListPackages(PackageCatalogue& display);
  /// The highest locally recorded version of `name`; false (and empty) when there is none.
  bool FindLatestVersion(const std::wstring& name, std::wstring& version);
  /// -get: makes a decryptor and what it needs present, and records its version.
  PkgResult_e GetPackage(const std::wstring& name, const std::wstring& version);
  /// -run: runs a downloaded decryptor ("0.0.0": the highest version recorded here).
  PkgResult_e RunPackage(const std::wstring& name, const std::wstring& version, const std::wstring& args);
  /// -about: calls a downloaded decryptor's help entry.
  PkgResult_e AboutPackage(const std::wstring& name, const std::wstring& version);

  /// 1 once the data folder exists and the catalogue path is set.
  std::int32_t initialised = 0;
  /// Guards the local catalogue and its file; taken after the instance mutex, never twice.
  std::mutex lock;
  /// The local catalogue: decryptor versions downloaded to this machine. Changed only
  /// with `lock` held (RecordVersion, then SortCatalogueVersions).
  PackageCatalogue catalogue;
  /// Full path of "decryptors.json"; empty when the data folder could not be made.
  std::wstring cataloguePath;

 private:
  PackageManager() = default;
  ~PackageManager();

  /// Creates the data folder and sets the catalogue path; a failure leaves the
  /// manager usable with nothing to load or save.
  bool Initialise();
  /// Reads the local catalogue (called from Initialise with the instance mutex held).
  void LoadLocalCatalogue();
  /// Writes the local catalogue back, merged with what other runs saved meanwhile
  /// (called from DestroyInstance with the instance mutex held).
  void SaveLocalCatalogue();
  /// Builds the -list display from the server list and the local catalogue, under the lock.
  void MergeForDisplay(const PackageCatalogue& server, PackageCatalogue& display);

  /// The catalogue as the file held it at start-up: what this run recorded is the difference.
  PackageCatalogue loadedCatalogue;

  static std::atomic<PackageManager*> instance;
  static std::mutex instanceMutex;
};

}  // namespace Kyrowan
