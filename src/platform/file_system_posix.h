#pragma once

// The POSIX rule behind GetDataFolder, apart from the environment it reads.
// Included only by the *_posix.cpp files and their tests.

#include <cstddef>
#include <string>

namespace Kyrowan::Windows {

/// $PROGRAMDATA when set and non-empty; else /var/lib when writable; else
/// $XDG_DATA_HOME when set and non-empty; else $HOME/.local/share; else empty.
std::string ApplicationDataFolderFrom(const char* programData, bool varLibWritable, const char* xdgDataHome,
                                      const char* home);

/// Creates a new file in the folder of `target`, named after it with a random
/// suffix no other process can predict; O_EXCL | O_NOFOLLOW, so nothing planted
/// there is followed or reused. Returns the descriptor (or -1) and its path.
int CreateUniqueFileBeside(const std::string& target, std::string& path);
/// Writes all `size` bytes, retrying after interruptions; false on any error.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace Kyrowan::Windows
