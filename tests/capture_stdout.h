#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include <unistd.h>

namespace Kyrowan::Testing {

/// Runs `body` with the process's stdout sent to a temporary file and returns what it wrote.
inline std::string CaptureStdout(const std::function<void()>& body) {
  std::fflush(stdout);
  std::FILE* sink = std::tmpfile();
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(::fileno(sink), STDOUT_FILENO);
  body();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string out;
  std::rewind(sink);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink)) > 0;) out.append(buffer, n);
  std::fclose(sink);
  return out;
}

}  // namespace Kyrowan::Testing
