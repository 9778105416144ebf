#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/text.h"
#include "runtime/python_runtime.h"

namespace Kyrowan::Testing {

/// A Python runtime over an interpreter placed in a folder of the test's choosing.
class FolderPythonRuntime : public PythonRuntime {
 public:
  FolderPythonRuntime(const std::string& filesFolder, const std::wstring& version = L"3.11")
      : PythonRuntime(version, Windows::FromUtf8(filesFolder)) {}
};

/// A stand-in interpreter in `folder` that logs what it is asked ("check" for a
/// script run isolated, else its arguments) to calls.log and exits with the
/// status in the file "check" (scripts) or "pip" (anything else). Like a real
/// script's first line, it leaves the marker that shows the script started.
inline void WriteFakeInterpreter(const std::string& folder) {
  std::ofstream(folder + "python") << "#!/bin/sh\n"
                                      "dir=$(dirname \"$0\")\n"
                                      "case \"$*\" in\n"
                                      "  \"-I -B \"*/KyrDecrypt_Script_*.py) test -f \"$3\" || exit 99\n"
                                      "    : > \"${3%.py}.started\"\n"
                                      "    echo check >> \"$dir/calls.log\"; exit $(cat \"$dir/check\") ;;\n"
                                      "  *) echo \"$*\" >> \"$dir/calls.log\"; exit $(cat \"$dir/pip\") ;;\n"
                                      "esac\n";
  std::filesystem::permissions(folder + "python", std::filesystem::perms::owner_all);
}

/// Sets the fake interpreter's answers and forgets what it was asked.
inline void SetFakeAnswers(const std::string& folder, unsigned check, unsigned pip) {
  std::ofstream(folder + "check") << check;
  std::ofstream(folder + "pip") << pip;
  std::filesystem::remove(folder + "calls.log");
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace Kyrowan::Testing
