#include "catalogue/pkg_result.h"

#include "platform/console.h"

namespace Kyrowan {

const std::array<const wchar_t*, 29> PkgResultMessages = {
    L"Not a valid package",
    L"Content not found with in package",
    L"",
    L"",
    L"Not a valid package. A required file not found",
    L"Not a valid package. A required file is not valid",
    L"",
    L"",
    L"",
    L"Failed to verify. Verification key is not valid",
    L"",
    L"",
    L"",
    L"Not a valid package. Signature missing",
    L"Not a valid package. Failed to verify package",
    L"Package is signed and verified",
    L"Package downloaded successfully",
    L"Failed to download package. Please check decryptor name/version or your network connection and try again.",
    L"Failed to install package",
    L"Not a valid package. File(s) missing",
    L"Not a valid package. File(s) invalid",
    L"Not a valid package. Dependencies missing",
    L"Not a valid package. Invalid dependencies",
    L"Package not found on this system",
    L"Package found on this system",
    L"Runtime to execute package is missing on system",
    L"An error occurred while running package",
    L"An error occured in selected operation",
    L"Selected operation completed successfully",
};

void PrintPkgResult(std::int32_t result) {
  if (result < 0 || result >= static_cast<std::int32_t>(PkgResultMessages.size())) return;
  Windows::ConsoleLine(PkgResultMessages[static_cast<std::size_t>(result)]);
}

}  // namespace Kyrowan
