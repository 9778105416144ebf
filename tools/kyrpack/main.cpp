// kyrpack: makes, signs, checks and describes package files for the client.
#include <cstdio>
#include <string>
#include <vector>

#include "kyrpack/command_line.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string out;
  std::string err;
  const int code = Kyrowan::Kyrpack::RunCommand(args, out, err);
  std::fputs(out.c_str(), stdout);
  if (!err.empty()) std::fprintf(stderr, "kyrpack: %s\n", err.c_str());
  return code;
}
