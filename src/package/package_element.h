#pragma once

#include <string>

#include "catalogue/pkg_result.h"

namespace Kyrowan {

namespace Windows {
class SignatureVerifier;
}

/// What a package element is; also the number written into verification-state cache keys.
enum PkgKind_e : int {
  PkgKindDecryptor = 1,
  PkgKindPipLibrary = 2,
  PkgKindPythonLibrary = 3,
  PkgKindNativeLibrary = 4,
  PkgKindPythonRuntime = 5,
};

/// Anything the tool downloads, installs, checks and (for code) runs: a
/// decryptor, a library it needs, or the Python runtime.
class IKyrDecryptPackageElement {
 public:
  virtual ~IKyrDecryptPackageElement() = default;
  IKyrDecryptPackageElement(const IKyrDecryptPackageElement&) = delete;
  IKyrDecryptPackageElement& operator=(const IKyrDecryptPackageElement&) = delete;

  virtual bool GetName(std::wstring& out) const;
  virtual bool GetVersion(std::wstring& out) const;
  virtual int GetKind() const;
  /// Makes the element present and valid, downloading it if needed.
  virtual PkgResult_e Obtain() = 0;
  /// PkgFound when installed with a verified manifest and every file present.
  virtual PkgResult_e CheckPresent() = 0;
  /// PkgOperationSucceeded when every file's signature checks.
  virtual PkgResult_e Validate() = 0;
  /// Registers / unregisters the folders the element's code loads from.
  virtual PkgResult_e AttachToRuntime() = 0;
  virtual PkgResult_e DetachFromRuntime() = 0;
  virtual bool AcquireVerifier();
  /// The verification state cached for (kind, name, version) in this process; 0 if none.
  virtual int GetCachedState();
  virtual bool SetCachedState(int state);

 protected:
  IKyrDecryptPackageElement(int kind, const std::wstring& name, const std::wstring& version);
  /// "<name> <version>", as a cause names the package.
  std::wstring Label() const { return name + L" " + version; }

  std::wstring name;
  std::wstring version;  ///< "0.0.0" means the latest
  int kind;
  Windows::SignatureVerifier* verifier = nullptr;
};

/// The verification-state cache key "kind|name|version", lower-cased; empty when
/// the kind is not 1-5 or the name or version is empty.
std::wstring MakeStateCacheKey(int kind, const std::wstring& name, const std::wstring& version);

}  // namespace Kyrowan
