// The "-get", "-run" and "-about" handlers.
//
// NOT YET IMPLEMENTED: package download, installation and running are not part
// of the tool yet. Until they are, each handler checks its arguments and then
// reports failure; none of them claims to have done anything.
#include "app/command_processor.h"

namespace Kyrowan {

namespace {

// A name is required; a listed option that is present must carry a value.
CmdResult_e CheckArguments(const std::vector<std::wstring>& arguments, const std::vector<std::wstring>& allowed) {
  if (arguments.empty()) return CmdInvalidArgs;
  if (arguments.size() >= 2) {
    const std::vector<std::wstring> options(arguments.begin() + 1, arguments.end());
    std::map<std::wstring, std::wstring> found;
    if (CommandProcessor::ParseOptions(options, allowed, found) == 1) {
      for (const auto& option : found) {
        if (option.second.empty()) return CmdInvalidArgs;
      }
    }
  }
  return CmdFailed;
}

}  // namespace

CmdResult_e CommandProcessor::CmdGet(std::vector<std::wstring>& arguments) {
  return CheckArguments(arguments, {L"-ver"});
}

CmdResult_e CommandProcessor::CmdRun(std::vector<std::wstring>& arguments) {
  return CheckArguments(arguments, {L"-ver", L"-args"});
}

CmdResult_e CommandProcessor::CmdAbout(std::vector<std::wstring>& arguments) {
  return CheckArguments(arguments, {L"-ver"});
}

}  // namespace Kyrowan
