#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan::Windows {

/// Why something failed, in words a help desk can act on.
struct FailureCause {
  std::wstring text;
  /// The HTTP status of the answer that caused it; 0 when no answer was involved.
  int httpStatus = 0;
};

/// Notes the cause of a failure on this thread, where it happened; the layers
/// above may add what they were doing to it, the front end reports them all.
void RecordCause(std::wstring text, int httpStatus = 0);
/// Appends `context` to the latest cause of this thread; nothing when there is none.
void AmendLatestCause(std::wstring_view context);
/// The latest cause of this thread, or null.
const FailureCause* LatestCause();
/// The causes of this thread, oldest first, which are then forgotten.
std::vector<FailureCause> TakeCauses();

/// The system's own words for error `code` (an errno value on POSIX, a GetLastError
/// value on Windows), without a trailing line end.
std::wstring OsErrorText(std::uint32_t code);
/// The calling thread's last system error (errno or GetLastError).
std::uint32_t LastOsError();
/// Whether `code` says the device is full.
bool IsNoSpaceError(std::uint32_t code);
/// Records "cannot <action> <path>: <system text>", or "no space left on the device for
/// <path>" when the device is full, for the system error `code`.
void RecordFileFailure(std::wstring_view action, std::wstring_view path, std::uint32_t code);

}  // namespace Kyrowan::Windows
