#include "platform/failure_causes.h"

#include <utility>

namespace Kyrowan::Windows {

namespace {

// Per thread: a worker's failure is its own, and needs no lock.
std::vector<FailureCause>& Causes() {
  thread_local std::vector<FailureCause> causes;
  return causes;
}

}  // namespace

void RecordCause(std::wstring text, int httpStatus) {
  // A failure met again (each piece of a download on a full disk) is one cause.
  if (!Causes().empty() && Causes().back().text == text) return;
  Causes().push_back({std::move(text), httpStatus});
}

void AmendLatestCause(std::wstring_view context) {
  if (!Causes().empty()) Causes().back().text.append(context);
}

const FailureCause* LatestCause() { return Causes().empty() ? nullptr : &Causes().back(); }

std::vector<FailureCause> TakeCauses() { return std::exchange(Causes(), {}); }

void RecordFileFailure(std::wstring_view action, std::wstring_view path, std::uint32_t code) {
  if (IsNoSpaceError(code)) {
    RecordCause(L"no space left on the device for " + std::wstring(path));
    return;
  }
  std::wstring text = L"cannot ";
  text.append(action).append(L" ").append(path).append(L": ").append(OsErrorText(code));
  RecordCause(std::move(text));
}

}  // namespace Kyrowan::Windows
