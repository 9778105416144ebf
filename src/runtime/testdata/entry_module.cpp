// A decryptor library for the native runtime's tests: its run entry writes the
// arguments it received, as UTF-16 code units each ended by a zero unit, into
// the file named by argument 1, and returns the number given as "ret=N".
#include <cstdint>
#include <cstdio>
#include <string>

#include "test_export.h"

namespace {
std::string ToAscii(const char16_t* text) {
  std::string out;
  for (; *text; ++text) out.push_back(static_cast<char>(*text));
  return out;
}
}  // namespace

KYR_EXPORT std::int64_t run(std::int32_t argc, const char16_t* const* argv) {
  if (argc < 2 || argv[argc] != nullptr) return -2;
  std::int64_t result = 0;
  if (std::FILE* out = std::fopen(ToAscii(argv[1]).c_str(), "wb")) {
    for (std::int32_t i = 0; i < argc; ++i) {
      std::u16string text(argv[i]);
      std::fwrite(text.c_str(), sizeof(char16_t), text.size() + 1, out);
      const std::string ascii = ToAscii(argv[i]);
      if (ascii.rfind("ret=", 0) == 0) result = std::stoll(ascii.substr(4));
    }
    std::fclose(out);
  }
  return result;
}

KYR_EXPORT void help() { std::fputs("entry module help\n", stdout); }
