// The sample decryptor: restores files locked by kyrsample-encrypt.
//
// Arguments after the two the tool always passes (package folder, telemetry file):
//   -k KEY    the key the files were locked with (required)
//   PATH...   locked files ("*.kyrlocked") or folders searched for them, recursively
// The run entry returns the number of files restored, or -1 when the arguments
// are unusable. It writes {"files":N,"failed":M} into the telemetry file.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "kyrsample_cipher.h"

#if defined(_WIN32)
#define KYRSAMPLE_EXPORT extern "C" __declspec(dllexport)
#else
#define KYRSAMPLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

namespace fs = std::filesystem;

const std::string kLockedSuffix = ".kyrlocked";

std::string ToUtf8(const char16_t* text) {
  std::string out;
  for (; *text; ++text) {
    char32_t c = *text;
    if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Paths stay fs::path from the UTF-16 arguments on: a narrow copy would lose any name
// outside the ANSI code page on Windows.
fs::path ToPath(const char16_t* text) { return fs::path(std::u16string(text)); }

std::string Printable(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsLocked(const fs::path& path) {
  return path.extension() == kLockedSuffix && !path.stem().empty();
}

/// The whole file, read through a stream that is closed on return: Windows refuses to
/// delete a file that is still open.
bool ReadAll(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

/// Restores one file beside the locked one; never overwrites an existing file,
/// and removes the locked file only once the restored one is complete.
bool Restore(const fs::path& locked, const std::string& key) {
  std::vector<std::uint8_t> bytes;
  if (!ReadAll(locked, bytes)) return false;
  if (!kyrsample_check_header(key.c_str(), bytes.data(), bytes.size())) return false;
  fs::path target = locked;
  target.replace_extension();
  std::error_code error;
  if (fs::exists(target, error)) return false;
  fs::path temporary = target;
  temporary += ".kyrpart";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    std::vector<std::uint8_t> content(bytes.begin() + KYRSAMPLE_HEADER_SIZE, bytes.end());
    kyrsample_apply(key.c_str(), content.data(), content.size());
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, error);
      return false;
    }
  }
  fs::rename(temporary, target, error);
  if (error) return false;
  fs::remove(locked, error);
  return true;
}

std::vector<fs::path> LockedFilesIn(const std::vector<fs::path>& paths) {
  std::vector<fs::path> found;
  for (const auto& path : paths) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && IsLocked(it->path())) found.push_back(it->path());
      }
    } else if (IsLocked(path)) {
      found.push_back(path);
    }
  }
  return found;
}

std::int64_t Run(std::int32_t argc, const char16_t* const* argv) {
  const fs::path telemetryFile = ToPath(argv[1]);
  std::string key;
  std::vector<fs::path> paths;
  for (std::int32_t i = 2; i < argc; ++i) {
    if (std::u16string_view(argv[i]) == u"-k" && i + 1 < argc) {
      key = ToUtf8(argv[++i]);
    } else {
      paths.push_back(ToPath(argv[i]));
    }
  }
  if (key.empty() || paths.empty()) {
    std::fputs("kyrsample: give -k KEY and at least one file or folder\n", stdout);
    std::fflush(stdout);
    return -1;
  }
  std::int64_t restored = 0, failed = 0;
  for (const auto& locked : LockedFilesIn(paths)) {
    const bool ok = Restore(locked, key);
    ok ? ++restored : ++failed;
    std::printf("kyrsample: %s %s\n", ok ? "restored" : "could not restore", Printable(locked).c_str());
  }
  std::fflush(stdout);
  std::ofstream(telemetryFile, std::ios::binary) << "{\"files\":" << restored << ",\"failed\":" << failed << "}";
  return restored;
}

}  // namespace

KYRSAMPLE_EXPORT std::int64_t run(std::int32_t argc, const char16_t* const* argv) {
  if (argc < 2 || argv == nullptr) return -1;
  // No exception may cross into the tool that loaded this library: a name that is not
  // valid UTF-16 makes the path conversions throw.
  try {
    return Run(argc, argv);
  } catch (...) {
    return -1;
  }
}

KYRSAMPLE_EXPORT void help() {
  std::fputs(
      "KyrSample decryptor 1.0.0: restores files locked by the KyrSample demo cipher.\n"
      "Arguments: -k KEY PATH...\n"
      "  -k KEY   the key the files were locked with\n"
      "  PATH     a locked file (*.kyrlocked) or a folder searched for them\n",
      stdout);
  std::fflush(stdout);
}
