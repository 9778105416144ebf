#include <cerrno>
#include <cstring>

#include "platform/failure_causes.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

std::wstring OsErrorText(std::uint32_t code) { return FromUtf8(std::strerror(static_cast<int>(code))); }

std::uint32_t LastOsError() { return static_cast<std::uint32_t>(errno); }

bool IsNoSpaceError(std::uint32_t code) { return code == ENOSPC || code == EDQUOT; }

}  // namespace Kyrowan::Windows
