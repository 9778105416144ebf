// The kyrbundle entry point: carries decryptors to a machine without a network.
#include <string>
#include <vector>

#include "bundle/bundle_command_line.h"
#include "platform/text.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return Kyrowan::Bundle::RunBundle(std::vector<std::wstring>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Kyrowan::Windows::FromUtf8(argv[i]));
  return Kyrowan::Bundle::RunBundle(arguments);
}
#endif
