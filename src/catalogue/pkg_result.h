#pragma once

#include <array>
#include <cstdint>

namespace Kyrowan {

/// Status of every package, element, runtime and pip operation.
/// Only PkgOperationSucceeded counts as success of a command.
enum PkgResult_e : std::int32_t {
  PkgInvalid = 0,
  PkgContentNotFound = 1,
  PkgRequiredFileMissing = 4,
  PkgRequiredFileInvalid = 5,
  PkgKeyInvalid = 9,
  PkgSignatureMissing = 13,
  PkgVerifyFailed = 14,
  PkgVerified = 15,
  PkgDownloaded = 16,
  PkgDownloadFailed = 17,
  PkgInstallFailed = 18,
  PkgFilesMissing = 19,
  PkgFilesInvalid = 20,
  PkgDependenciesMissing = 21,
  PkgDependenciesInvalid = 22,
  PkgNotFound = 23,
  PkgFound = 24,
  PkgRuntimeMissing = 25,
  PkgRunFailed = 26,
  PkgOperationFailed = 27,
  PkgOperationSucceeded = 28,
};

/// The console message of each value, indexed by the value (unnamed values are empty).
extern const std::array<const wchar_t*, 29> PkgResultMessages;

/// Prints the message of `result` as one line; a value outside 0-28 prints nothing.
void PrintPkgResult(std::int32_t result);

}  // namespace Kyrowan
