// The "-get", "-run" and "-about" handlers: check and collect the arguments,
// call the package manager, print its result.
#include "app/command_processor.h"

#include "app/package_manager.h"
#include "catalogue/pkg_result.h"
#include "platform/console.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

namespace {

constexpr const wchar_t* kGetWaitingLine = L"Downloading decryptor and its depedencies. Please wait ...";
constexpr const wchar_t* kRunWaitingLine = L"Validating and running decryptor. Please wait ...";

/// What the handlers read from the arguments after the command word.
struct PackageRequest {
  std::wstring name;
  std::wstring version = kLatestVersionWide;
  std::wstring args;
};

// The name comes first and is kept as typed; listed options follow. An option
// that is present must carry a value.
bool ReadRequest(const std::vector<std::wstring>& arguments, const std::vector<std::wstring>& allowed,
                 PackageRequest& request) {
  if (arguments.empty()) return false;
  request.name = arguments.front();
  if (arguments.size() < 2) return true;
  const std::vector<std::wstring> options(arguments.begin() + 1, arguments.end());
  std::map<std::wstring, std::wstring> found;
  // The argument text names files and keys: on a case-sensitive file system a
  // lowered path is another path, so it reaches the decryptor as typed.
  if (CommandProcessor::ParseOptions(options, allowed, found, {L"-args"}) != 1) return true;
  if (const auto ver = found.find(L"-ver"); ver != found.end()) {
    if (ver->second.empty()) return false;
    request.version = ver->second;
  }
  if (const auto args = found.find(L"-args"); args != found.end()) {
    if (args->second.empty()) return false;
    request.args = args->second;
  }
  return true;
}

void PrintWaitingLine(const wchar_t* line) {
  Windows::ConsoleEndLine();
  Windows::ConsoleLine(line);
}

CmdResult_e Report(PkgResult_e result, CommandProcessor::Outcome& outcome) {
  PrintPkgResult(result);
  outcome.text = PkgResultMessages[static_cast<std::size_t>(result)];
  return result == PkgOperationSucceeded ? CmdSucceeded : CmdFailed;
}

}  // namespace

CmdResult_e CommandProcessor::CmdGet(std::vector<std::wstring>& arguments) {
  PackageRequest request;
  if (!ReadRequest(arguments, {L"-ver"}, request)) return CmdInvalidArgs;
  PrintWaitingLine(kGetWaitingLine);
  return Report(PackageManager::GetInstance()->GetPackage(request.name, request.version), outcome);
}

CmdResult_e CommandProcessor::CmdRun(std::vector<std::wstring>& arguments) {
  PackageRequest request;
  if (!ReadRequest(arguments, {L"-ver", L"-args"}, request)) return CmdInvalidArgs;
  PrintWaitingLine(kRunWaitingLine);
  return Report(PackageManager::GetInstance()->RunPackage(request.name, request.version, request.args), outcome);
}

CmdResult_e CommandProcessor::CmdAbout(std::vector<std::wstring>& arguments) {
  PackageRequest request;
  if (!ReadRequest(arguments, {L"-ver"}, request)) return CmdInvalidArgs;
  PrintWaitingLine(kRunWaitingLine);
  return Report(PackageManager::GetInstance()->AboutPackage(request.name, request.version), outcome);
}

}  // namespace Kyrowan
