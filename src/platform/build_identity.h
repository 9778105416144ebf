#pragma once

#include <string>

namespace Kyrowan::Windows {

/// What a companion's --version prints: its name and version, the server it was built
/// for, and the fingerprint of the built-in package-signing key, one per line (no line end after the last), so a help
/// desk can tell the publisher's build from another.
std::string BuildIdentityText(const std::string& program);

}  // namespace Kyrowan::Windows
