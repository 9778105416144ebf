// The kyridentify entry point: which decryptor fits the files given, judged on this machine.
#include <string>
#include <vector>

#include "identify/identify_command.h"
#include "platform/text.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return Kyrowan::Identify::RunIdentify(std::vector<std::wstring>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#else
int main(int argc, char** argv) {
  // The command line arrives as UTF-8 bytes here; paths travel as wide text.
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Kyrowan::Windows::FromUtf8(argv[i]));
  return Kyrowan::Identify::RunIdentify(arguments);
}
#endif
