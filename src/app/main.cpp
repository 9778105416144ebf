// The kyrdecrypt entry point: one run is one command; the exit code is always 0.
#include <string>
#include <vector>

#include "app/command_processor.h"
#include "app/package_manager.h"
#include "platform/console.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  using namespace Kyrowan;
  // The command line arrives as UTF-8 bytes here; the front end works on wide text.
  std::vector<std::wstring> wideArguments;
  std::vector<const wchar_t*> wideArgv;
  wideArguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) wideArguments.push_back(Windows::FromUtf8(argv[i] ? argv[i] : ""));
  for (const std::wstring& argument : wideArguments) wideArgv.push_back(argument.c_str());
  wideArgv.push_back(nullptr);

  CommandProcessor processor;
  processor.RegisterCommands();
  try {
    processor.Process(argc, wideArgv.data());
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
