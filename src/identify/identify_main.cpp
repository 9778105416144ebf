// The kyridentify entry point: which decryptor fits the files given, judged on this machine.
#include <string>
#include <vector>

#include "identify/identify_command.h"
#include "platform/text.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Kyrowan::Windows::ToUtf8(argv[i]));
  return Kyrowan::Identify::RunIdentify(arguments);
}
#else
int main(int argc, char** argv) {
  // Paths stay the bytes they are: a name that is not UTF-8 is still a file to judge.
  return Kyrowan::Identify::RunIdentify(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
