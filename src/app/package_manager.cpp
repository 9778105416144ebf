#include "app/package_manager.h"

#include "platform/file_system.h"

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

// The local catalogue is not part of this file yet: until it is, there is
// nothing to read.
void PackageManager::LoadLocalCatalogue() {}

// Until the local catalogue exists, the run leaves the file a new catalogue
// would be written as, and never replaces a file that is already there: an
// existing record of downloads must survive a build that cannot read it.
void PackageManager::SaveLocalCatalogue() {
  std::lock_guard<std::mutex> guard(lock);
  if (cataloguePath.empty() || PathExists(cataloguePath)) return;
  WriteNewFile(cataloguePath, R"({"packages":[],"version":"0.0.0"})");
}

}  // namespace Kyrowan
