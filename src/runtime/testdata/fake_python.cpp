// A stand-in Python interpreter for the Python runtime's tests, built for the
// platform under test (no Windows Python can be installed where Windows is tested).
// Beside itself it reads its answers and writes down what it was asked:
//   calls.log    one line per call: "script" for a script run as the runtime starts
//                one (-I -B <own folder>/KyrDecrypt_Script_*.py), else the arguments
//   script.txt   the bytes of the last script it was given
//   script, pip  the status to exit with for a script run, for anything else
//   vanish       when present, a script run deletes its script and ends as Python
//                does for a missing script (status 2) without starting it
// A started script run leaves the marker that a real script's first line makes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int StatusIn(const fs::path& file) {
  std::ifstream in(file);
  unsigned long status = 99;
  in >> status;
  // 4294967295 is returned as -1: the exit status with all 32 bits set.
  return static_cast<int>(static_cast<unsigned>(status));
}

bool IsRuntimeScript(const fs::path& folder, const std::vector<fs::path>& arguments) {
  if (arguments.size() != 3 || arguments[0] != "-I" || arguments[1] != "-B") return false;
  const fs::path& script = arguments[2];
  return script.parent_path() == folder && script.extension() == ".py" &&
         script.filename().string().rfind("KyrDecrypt_Script_", 0) == 0;
}

int Run(const fs::path& self, const std::vector<fs::path>& arguments) {
  const fs::path folder = self.parent_path();
  std::ofstream log(folder / "calls.log", std::ios::app | std::ios::binary);
  if (!IsRuntimeScript(folder, arguments)) {
    std::string line;
    for (const auto& argument : arguments) line += (line.empty() ? "" : " ") + argument.string();
    log << line << "\n";
    return StatusIn(folder / "pip");
  }
  log << "script\n";
  const fs::path& script = arguments[2];
  if (fs::exists(folder / "vanish")) {
    fs::remove(script);
    return 2;
  }
  std::ifstream in(script, std::ios::binary);
  if (!in) return 98;
  std::ofstream(folder / "script.txt", std::ios::binary) << std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fs::path marker = script;
  std::ofstream(marker.replace_extension(".started"));
  return StatusIn(folder / "script");
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  if (argc < 1) return 97;
  return Run(argv[0], std::vector<fs::path>(argv + 1, argv + argc));
}
