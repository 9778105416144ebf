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
#include <system_error>
#include <vector>

#include "kyrsample_cipher.h"

#define KYRSAMPLE_EXPORT extern "C" __attribute__((visibility("default")))

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

bool IsLocked(const fs::path& path) {
  const std::string name = path.filename().string();
  return name.size() > kLockedSuffix.size() &&
         name.compare(name.size() - kLockedSuffix.size(), kLockedSuffix.size(), kLockedSuffix) == 0;
}

/// Restores one file beside the locked one; never overwrites an existing file,
/// and removes the locked file only once the restored one is complete.
bool Restore(const fs::path& locked, const std::string& key) {
  std::ifstream in(locked, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return false;
  if (!kyrsample_check_header(key.c_str(), bytes.data(), bytes.size())) return false;
  std::string target = locked.string();
  target.resize(target.size() - kLockedSuffix.size());
  std::error_code error;
  if (fs::exists(target, error)) return false;
  const std::string temporary = target + ".kyrpart";
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

std::vector<fs::path> LockedFilesIn(const std::vector<std::string>& paths) {
  std::vector<fs::path> found;
  for (const auto& path : paths) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && IsLocked(it->path())) found.push_back(it->path());
      }
    } else if (IsLocked(path)) {
      found.emplace_back(path);
    }
  }
  return found;
}

}  // namespace

KYRSAMPLE_EXPORT std::int64_t run(std::int32_t argc, const char16_t* const* argv) {
  if (argc < 2 || argv == nullptr) return -1;
  const std::string telemetryFile = ToUtf8(argv[1]);
  std::string key;
  std::vector<std::string> paths;
  for (std::int32_t i = 2; i < argc; ++i) {
    const std::string argument = ToUtf8(argv[i]);
    if (argument == "-k" && i + 1 < argc) {
      key = ToUtf8(argv[++i]);
    } else {
      paths.push_back(argument);
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
    std::printf("kyrsample: %s %s\n", ok ? "restored" : "could not restore", locked.string().c_str());
  }
  std::fflush(stdout);
  if (std::FILE* out = std::fopen(telemetryFile.c_str(), "wb")) {
    std::fprintf(out, "{\"files\":%lld,\"failed\":%lld}", static_cast<long long>(restored),
                 static_cast<long long>(failed));
    std::fclose(out);
  }
  return restored;
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
