// The "-list" handler.
//
// NOT YET IMPLEMENTED: the local catalogue and the server list are not part of
// the tool yet. Until they are, the handler checks its arguments and reports
// failure; it never claims a list it did not fetch.
#include "app/command_processor.h"

namespace Kyrowan {

CmdResult_e CommandProcessor::CmdList(std::vector<std::wstring>& arguments) {
  if (!arguments.empty()) return CmdInvalidArgs;
  return CmdFailed;
}

}  // namespace Kyrowan
