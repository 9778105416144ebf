#pragma once

#include <cstdio>
#include <functional>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Kyrowan::Testing {

namespace descriptors {
#ifdef _WIN32
inline int Dup(int fd) { return ::_dup(fd); }
inline int Dup2(int from, int to) { return ::_dup2(from, to); }
inline int Close(int fd) { return ::_close(fd); }
inline int Number(std::FILE* file) { return ::_fileno(file); }
#else
inline int Dup(int fd) { return ::dup(fd); }
inline int Dup2(int from, int to) { return ::dup2(from, to); }
inline int Close(int fd) { return ::close(fd); }
inline int Number(std::FILE* file) { return ::fileno(file); }
#endif
}  // namespace descriptors

/// Runs `body` with the process's stdout sent to a temporary file and returns what it wrote.
inline std::string CaptureStdout(const std::function<void()>& body) {
  std::fflush(stdout);
  std::FILE* sink = std::tmpfile();
  const int out = descriptors::Number(stdout);
  const int saved = descriptors::Dup(out);
  descriptors::Dup2(descriptors::Number(sink), out);
  body();
  std::fflush(stdout);
  descriptors::Dup2(saved, out);
  descriptors::Close(saved);
  std::string text;
  std::rewind(sink);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink)) > 0;) text.append(buffer, n);
  std::fclose(sink);
  return text;
}

}  // namespace Kyrowan::Testing
