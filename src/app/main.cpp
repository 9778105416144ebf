// The kyrdecrypt entry point: one run is one command; the exit code is always 0.
#include <string>
#include <vector>

#include "app/command_processor.h"
#include "app/package_manager.h"
#include "platform/console.h"
#include "platform/text.h"

namespace {

int RunOneCommand(int argc, const wchar_t* const* argv) {
  using namespace Kyrowan;
  CommandProcessor processor;
  processor.RegisterCommands();
  try {
    processor.Process(argc, argv);
  } catch (...) {
    // The local record must still be written, and the user must not be left
    // without an answer: the command failed.
    PackageManager::DestroyInstance();
    Windows::ConsoleLine(L"Requested operation failed.");
    return 0;
  }
  PackageManager::DestroyInstance();
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunOneCommand(argc, argv); }
#else
int main(int argc, char** argv) {
  // The command line arrives as UTF-8 bytes here; the front end works on wide text.
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Kyrowan::Windows::FromUtf8(argv[i] ? argv[i] : ""));
  std::vector<const wchar_t*> wideArgv;
  for (const std::wstring& argument : arguments) wideArgv.push_back(argument.c_str());
  wideArgv.push_back(nullptr);
  return RunOneCommand(argc, wideArgv.data());
}
#endif
