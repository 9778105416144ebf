#include "app/package_manager.h"

#include "catalogue/catalogue_file.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

std::atomic<PackageManager*> PackageManager::instance{nullptr};
std::mutex PackageManager::instanceMutex;

PackageManager* PackageManager::GetInstance() {
  // Fast path without the mutex; the acquire pairs with the release below so a
  // published manager is seen fully initialised.
  if (PackageManager* existing = instance.load(std::memory_order_acquire)) return existing;
  std::lock_guard<std::mutex> guard(instanceMutex);
  PackageManager* manager = instance.load(std::memory_order_relaxed);
  if (manager == nullptr) {
    manager = new PackageManager();
    manager->Initialise();
    instance.store(manager, std::memory_order_release);
  }
  return manager;
}

void PackageManager::DestroyInstance() {
  if (instance.load(std::memory_order_acquire) == nullptr) return;
  std::lock_guard<std::mutex> guard(instanceMutex);
  PackageManager* manager = instance.load(std::memory_order_relaxed);
  if (manager == nullptr) return;
  manager->SaveLocalCatalogue();
  delete manager;
  instance.store(nullptr, std::memory_order_release);
}

PackageManager::~PackageManager() = default;

bool PackageManager::Initialise() {
  if (initialised == 1) return true;
  std::wstring root;
  if (!GetDataFolder(kDataFolderSuffix, root)) return false;
  const std::wstring dataFolder = root + kPathSeparator + L"data";
  if (!CreateFolderTree(dataFolder)) return false;
  cataloguePath = dataFolder + kPathSeparator + L"decryptors.json";
  LoadLocalCatalogue();
  initialised = cataloguePath.empty() ? 0 : 1;
  return initialised == 1;
}

// An unreadable or missing file simply means an empty local catalogue.
void PackageManager::LoadLocalCatalogue() {
  std::lock_guard<std::mutex> guard(lock);
  ReadCatalogueFile(cataloguePath, catalogue);
  loadedCatalogue = catalogue;
}

// Written at every exit, normalised; a failure (no data folder) goes unreported.
void PackageManager::SaveLocalCatalogue() {
  std::lock_guard<std::mutex> guard(lock);
  WriteCatalogueFile(cataloguePath, catalogue, loadedCatalogue);
}

void PackageManager::MergeForDisplay(const PackageCatalogue& server, PackageCatalogue& display) {
  std::lock_guard<std::mutex> guard(lock);
  Kyrowan::MergeForDisplay(catalogue, server, display);
}

int PackageManager::ListPackages(PackageCatalogue& display) {
  PackageCatalogue server;
  const bool fetched = FetchServerCatalogue(server);
  MergeForDisplay(server, display);
  return fetched ? 1 : 0;
}

bool PackageManager::FindLatestVersion(const std::wstring& name, std::wstring& version) {
  version.clear();
  if (name.empty()) return false;
  const std::string narrowName = ToNarrow(name);
  {
    std::lock_guard<std::mutex> guard(lock);
    version = ToWide(LatestVersionOf(catalogue, narrowName));
  }
  return !version.empty();
}

}  // namespace Kyrowan
