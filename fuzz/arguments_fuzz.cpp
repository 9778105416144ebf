// The argument text a decryptor is run with is split into arguments; quoted sections
// are hidden behind placeholders while splitting.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/text.h"
#include "runtime/argument_splitter.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = Windows::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<std::wstring> arguments{L"kept"};
  const bool split = SplitArguments(text, arguments);
  if (text.empty()) Require(arguments.size() == 1 && arguments[0] == L"kept", "an empty text leaves the arguments");
  Require(split == !arguments.empty() || text.empty(), "true exactly when arguments came out");
  if (text.find(L'"') == std::wstring::npos) {
    for (const auto& argument : arguments) {
      Require(!argument.empty(), "no empty argument from a text without quotes");
      Require(argument.find(L' ') == std::wstring::npos, "no space inside an unquoted argument");
    }
  }
  return 0;
}
