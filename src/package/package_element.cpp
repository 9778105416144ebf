#include "package/package_element.h"

#include "package/python_runtime_package.h"
#include "platform/signature_verifier.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

using Windows::ToLowerText;

IKyrDecryptPackageElement::IKyrDecryptPackageElement(int kind, const std::wstring& name, const std::wstring& version)
    : name(ToLowerText(name)), version(ToLowerText(version)), kind(kind) {
  // The runtimes this element may ask for check their own packages through this layer.
  UsePythonRuntimePackages();
  AcquireVerifier();
}

bool IKyrDecryptPackageElement::GetName(std::wstring& out) const {
  out = name;
  return !out.empty();
}

bool IKyrDecryptPackageElement::GetVersion(std::wstring& out) const {
  out = version;
  return !out.empty();
}

int IKyrDecryptPackageElement::GetKind() const { return kind; }

bool IKyrDecryptPackageElement::AcquireVerifier() {
  verifier = Windows::SignatureVerifier::Instance();
  return verifier != nullptr;
}

int IKyrDecryptPackageElement::GetCachedState() {
  if (!AcquireVerifier()) return 0;
  const std::wstring key = MakeStateCacheKey(kind, name, version);
  return key.empty() ? 0 : verifier->LookupState(key);
}

bool IKyrDecryptPackageElement::SetCachedState(int state) {
  if (!AcquireVerifier()) return false;
  const std::wstring key = MakeStateCacheKey(kind, name, version);
  if (key.empty()) return false;
  verifier->StoreState(key, state);
  // Whoever asks for "latest" later in this run finds the version validated here.
  if (!Windows::EqualsIgnoreCase(version, kLatestVersionWide))
    verifier->StoreState(MakeStateCacheKey(kind, name, kLatestVersionWide), state);
  return true;
}

std::wstring MakeStateCacheKey(int kind, const std::wstring& name, const std::wstring& version) {
  if (kind < PkgKindDecryptor || kind > PkgKindPythonRuntime || name.empty() || version.empty()) return {};
  return ToLowerText(std::to_wstring(kind) + L"|" + name + L"|" + version);
}

}  // namespace Kyrowan
