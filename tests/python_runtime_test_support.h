#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process.h"
#include "platform/text.h"
#include "runtime/python_runtime.h"

namespace Kyrowan::Testing {

/// A Python runtime over an interpreter placed in a folder of the test's choosing.
class FolderPythonRuntime : public PythonRuntime {
 public:
  FolderPythonRuntime(const std::string& filesFolder, const std::wstring& version = L"3.11")
      : PythonRuntime(version, Windows::FromUtf8(filesFolder)) {}
};

/// Places the stand-in interpreter (tests/runtime/fixtures/fake_python.cpp) in `folder`, which
/// ends in a separator, as the runtime's interpreter.
inline void WriteFakeInterpreter(const std::string& folder) {
  std::filesystem::copy_file(KYR_FAKE_PYTHON, folder + "python" + Windows::ToUtf8(Windows::kExecutableSuffix),
                             std::filesystem::copy_options::overwrite_existing);
}

/// Sets the statuses the stand-in ends script runs and other calls with, and
/// forgets what it was asked.
inline void SetFakeAnswers(const std::string& folder, unsigned script, unsigned pip) {
  std::ofstream(folder + "script") << script;
  std::ofstream(folder + "pip") << pip;
  std::filesystem::remove(folder + "calls.log");
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace Kyrowan::Testing
