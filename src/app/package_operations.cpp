// -get, -run and -about as work on one decryptor element.
#include "app/package_manager.h"

#include <memory>

#include "package/decryptor_package.h"
#include "package/package_element_factory.h"
#include "platform/failure_causes.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

namespace {

std::shared_ptr<DecryptorPackage> MakeDecryptor(const std::wstring& name, const std::wstring& version) {
  std::shared_ptr<IKyrDecryptPackageElement> element;
  if (!CreatePackageElement(PkgKindDecryptor, name, version, element)) return nullptr;
  return std::dynamic_pointer_cast<DecryptorPackage>(element);
}

// A version is recorded under the name as typed; the catalogue matches names ignoring case.
void RecordDownload(PackageManager& manager, const std::wstring& name, const std::wstring& version) {
  std::lock_guard<std::mutex> guard(manager.lock);
  RecordVersion(manager.catalogue, Windows::ToNarrow(name), Windows::ToNarrow(version));
  SortCatalogueVersions(manager.catalogue);
}

// The highest version downloaded here of `name`; noted as the cause when there is none.
bool FindInstalledVersion(PackageManager& manager, const std::wstring& name, std::wstring& version) {
  if (manager.FindLatestVersion(name, version)) return true;
  Windows::RecordCause(L"no version of " + name + L" is installed here");
  return false;
}

}  // namespace

PkgResult_e PackageManager::GetPackage(const std::wstring& name, const std::wstring& version) {
  auto decryptor = MakeDecryptor(name, version);
  if (!decryptor) return PkgOperationFailed;
  const PkgResult_e status = decryptor->Obtain();
  if (status == PkgOperationSucceeded) {
    std::wstring installed;
    decryptor->GetVersion(installed);
    RecordDownload(*this, name, installed);
  }
  return status;
}

// "0.0.0" means the highest version downloaded here; nothing downloaded is PkgNotFound.
PkgResult_e PackageManager::RunPackage(const std::wstring& name, const std::wstring& version,
                                       const std::wstring& args) {
  std::wstring wanted = version;
  if (wanted == kLatestVersionWide && !FindInstalledVersion(*this, name, wanted)) return PkgNotFound;
  auto decryptor = MakeDecryptor(name, wanted);
  if (!decryptor) return PkgOperationFailed;
  return decryptor->Run(args);
}

PkgResult_e PackageManager::AboutPackage(const std::wstring& name, const std::wstring& version) {
  std::wstring wanted = version;
  if (wanted == kLatestVersionWide && !FindInstalledVersion(*this, name, wanted)) return PkgNotFound;
  auto decryptor = MakeDecryptor(name, wanted);
  if (!decryptor) return PkgOperationFailed;
  return decryptor->About();
}

}  // namespace Kyrowan
