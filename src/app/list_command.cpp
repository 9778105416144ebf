// The "-list" handler.
#include "app/command_processor.h"

#include "app/package_manager.h"
#include "catalogue/package_catalogue.h"
#include "platform/console.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

CmdResult_e CommandProcessor::CmdList(std::vector<std::wstring>& arguments) {
  if (!arguments.empty()) return CmdInvalidArgs;
  if (!packageManager) return CmdFailed;
  ConsoleEndLine();
  PackageCatalogue display;
  const int fetched = packageManager->ListPackages(display);
  if (fetched == 0) {
    outcome.text =
        L"Failed to get latest package list from server. Please check your network connection and try again.";
    ConsoleLine(outcome.text);
    ConsoleEndLine();
  }
  // The list is shown either way: after a failed fetch it is what this machine holds.
  PrintCatalogue(display);
  return fetched == 1 ? CmdSucceeded : CmdFailed;
}

}  // namespace Kyrowan
