#pragma once

// The POSIX rule behind GetDataFolder, apart from the environment it reads.
// Included only by the *_posix.cpp files and their tests.

#include <string>

namespace Kyrowan::Windows {

/// $PROGRAMDATA when set and non-empty; else /var/lib when writable; else
/// $XDG_DATA_HOME when set and non-empty; else $HOME/.local/share; else empty.
std::string ApplicationDataFolderFrom(const char* programData, bool varLibWritable, const char* xdgDataHome,
                                      const char* home);

}  // namespace Kyrowan::Windows
