// kyrsample-encrypt: locks files with the sample cipher, so the sample decryptor
// has something to restore. Usage: kyrsample-encrypt -k KEY [--remove] FILE...
// Each FILE becomes FILE.kyrlocked; --remove deletes the original afterwards.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kyrsample_cipher.h"

namespace {

bool Lock(const std::string& path, const std::string& key, bool removeOriginal) {
  std::vector<std::uint8_t> content;
  {
    // Closed before the original is removed: Windows refuses to delete an open file.
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  kyrsample_apply(key.c_str(), content.data(), content.size());
  std::uint8_t header[KYRSAMPLE_HEADER_SIZE];
  kyrsample_make_header(key.c_str(), header);
  std::ofstream out(path + ".kyrlocked", std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) return false;
  std::error_code error;
  if (removeOriginal) std::filesystem::remove(path, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  std::string key;
  bool removeOriginal = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-k") == 0 && i + 1 < argc) {
      key = argv[++i];
    } else if (std::strcmp(argv[i], "--remove") == 0) {
      removeOriginal = true;
    } else {
      files.emplace_back(argv[i]);
    }
  }
  if (key.empty() || files.empty()) {
    std::fputs("usage: kyrsample-encrypt -k KEY [--remove] FILE...\n", stderr);
    return 2;
  }
  int failures = 0;
  for (const auto& file : files) {
    if (Lock(file, key, removeOriginal)) {
      std::printf("locked %s\n", file.c_str());
    } else {
      std::fprintf(stderr, "could not lock %s\n", file.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
