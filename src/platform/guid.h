#pragma once

#include <string>

namespace Kyrowan::Windows {

/// A new random GUID as braced upper-case text, 38 characters
/// ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"). Returns 0 on success, else the
/// platform's error status with `out` untouched.
long CreateGuidText(std::wstring& out);

}  // namespace Kyrowan::Windows
