#pragma once

// Shared by the fuzz targets: a private folder for files, and checks that stop the run.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace Kyrowan::Fuzzing {

/// Stops the run with a message: libFuzzer keeps the input that got here.
inline void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

/// One folder under the temporary folder for the whole process; Fresh() empties it.
class Sandbox {
 public:
  static Sandbox& Instance() {
    static Sandbox sandbox;
    return sandbox;
  }
  const std::filesystem::path& Path() const { return path_; }
  /// Empties the folder and returns it.
  const std::filesystem::path& Fresh() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ignored))
      std::filesystem::remove_all(entry.path(), ignored);
    return path_;
  }
  ~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  Sandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kyrfuzz-XXXXXX").string();
    Require(::mkdtemp(pattern.data()) != nullptr, "a temporary folder can be made");
    path_ = pattern;
  }
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Require(out.good(), "the input file can be written");
}

}  // namespace Kyrowan::Fuzzing
