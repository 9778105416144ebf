#include "platform/process.h"

#include <cerrno>
#include <cstdio>

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/text.h"

extern char** environ;

namespace Kyrowan::Windows {

namespace {

/// Maps a wait status to the status the tool reports.
std::uint32_t StatusFromWait(int waitStatus) {
  if (WIFEXITED(waitStatus)) {
    const int code = WEXITSTATUS(waitStatus);
    // Only 8 bits survive on POSIX: a child's exit(-1) arrives as 255.
    return code == 255 ? kProcessFailureStatus : static_cast<std::uint32_t>(code);
  }
  return kProcessFailureStatus;  // killed by a signal
}

}  // namespace

bool RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, std::uint32_t& status) {
  status = 0;
  if (program.empty()) return false;
  std::vector<std::string> texts;
  texts.reserve(arguments.size() + 1);
  texts.push_back(ToUtf8(program));
  for (const auto& argument : arguments) texts.push_back(ToUtf8(argument));
  std::vector<char*> argv;
  for (auto& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  // The child writes to the same stdout: what the tool printed must come first.
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t child = 0;
  if (::posix_spawn(&child, texts[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;

  int waitStatus = 0;
  pid_t waited = 0;
  do {
    waited = ::waitpid(child, &waitStatus, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited != child) return false;
  status = StatusFromWait(waitStatus);
  return true;
}

}  // namespace Kyrowan::Windows
