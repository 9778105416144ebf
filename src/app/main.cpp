// The kyrdecrypt entry point: one run is one command; the exit code is always 0.
#include <string>
#include <vector>

#include "app/command_processor.h"
#include "app/package_manager.h"
#include "platform/console.h"
#include "platform/run_summary.h"
#include "platform/text.h"

namespace {

using namespace Kyrowan::Windows;

std::wstring CommandText(int argc, const wchar_t* const* argv) {
  std::wstring text;
  for (int i = 1; i < argc && argv[i]; ++i) text.append(i > 1 ? L" " : L"").append(argv[i]);
  return text;
}

int RunOneCommand(int argc, const wchar_t* const* argv) {
  using namespace Kyrowan;
  CommandProcessor processor;
  processor.RegisterCommands();
  RunSummary run;
  run.program = L"kyrdecrypt";
  run.command = CommandText(argc, argv);
  bool threw = false;
  try {
    processor.Process(argc, argv);
    run.result = processor.LastOutcome().text;
    run.failed = processor.LastOutcome().failed;
  } catch (...) {
    // The user must not be left without an answer: the command failed.
    run.result = L"Requested operation failed.";
    run.failed = threw = true;
  }
  // The local record is written whatever happened; its own failure is part of the story.
  PackageManager::DestroyInstance();
  if (threw) ConsoleLine(run.result);
  run.logPath = DataRootLogPath();
  ReportRun(run);
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
