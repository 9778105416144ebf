#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/package_element.h"

namespace Kyrowan {

class PythonRuntime;

/// A library a Python decryptor needs from pip (kind 2): no files of its own,
/// only what the interpreter of the decryptor's Python runtime has installed.
class PythonRunLibPackage : public IKyrDecryptPackageElement {
 public:
  PythonRunLibPackage(const std::wstring& name, const std::wstring& version);
  ~PythonRunLibPackage() override;

  /// Installs the library with pip unless it validates.
  PkgResult_e Obtain() override;
  /// PkgFound when the interpreter has it at the version or higher.
  PkgResult_e CheckPresent() override;
  /// The check, remembered for the rest of the process once it succeeded.
  PkgResult_e Validate() override;
  PkgResult_e AttachToRuntime() override { return PkgOperationSucceeded; }
  PkgResult_e DetachFromRuntime() override { return PkgOperationSucceeded; }

  /// Takes the Python runtime most recently made (its version "0.0.0" entry).
  bool AcquireRuntime();
  /// Lets pip install only files of these SHA-256 digests (the manifest's, signed with it).
  void RequireHashes(std::vector<std::string> digests) { hashes = std::move(digests); }

 private:
  std::shared_ptr<PythonRuntime> runtime;
  std::vector<std::string> hashes;
};

}  // namespace Kyrowan
