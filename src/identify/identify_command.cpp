#include "identify/identify_command.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "identify/file_sample.h"
#include "identify/report.h"
#include "platform/build_identity.h"
#include "platform/console.h"
#include "platform/entry_handle.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Identify {

namespace {

using namespace Kyrowan::Windows;

constexpr const wchar_t* kHelp[] = {
    L"Usage: kyridentify [--json] PATH...",
    L"",
    L"Tells which decryptor fits the files and folders given, from the hints the package",
    L"server publishes and signs: extensions the ransomware appends to file names, the",
    L"ransom notes it leaves, and bytes it writes into the files it encrypts.",
    L"",
    L"Everything is judged on this machine. kyridentify never modifies, uploads or copies",
    L"your files: it reads only their names and at most 4 KiB from the start and 4 KiB",
    L"from the end of each, looks at no more than 100000 files, and does not follow",
    L"links inside the folders given. Only the index of hints is downloaded; the last",
    L"verified copy is kept and used when the server cannot be reached.",
    L"",
    L"  --json      print the result as one JSON document",
    L"  --help      print this text",
    L"  --version   print the version, the server and the signing key this build trusts",
    L"",
    L"Exit status: 0 at least one candidate, 1 none, 2 error.",
};

struct Options {
  bool json = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
};

// False with `error` set for an option it does not know or a missing path.
bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') options.paths.push_back(argument);
    else if (argument == "--") optionsEnded = true;
    else if (argument == "--json") options.json = true;
    else if (argument == "--help" || argument == "-h") options.help = true;
    else if (argument == "--version") options.version = true;
    else {
      error = "Unknown option " + argument + ". Try kyridentify --help.";
      return false;
    }
  }
  if (options.paths.empty() && !options.help && !options.version) error = "Name at least one file or folder. Try kyridentify --help.";
  return error.empty();
}

// Line by line: a line end inside the text would otherwise be printed as "?".
void PrintLines(const std::string& text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    ConsoleWriteNarrow(std::string_view(text).substr(start, end - start));
    ConsoleEndLine();
    start = end + 1;
  }
}

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                                         : lead >= 0xf0 && lead < 0xf5     ? 4
                                                                           : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xc0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) || (lead == 0xf0 && byte(1) < 0x90) ||
      (lead == 0xf4 && byte(1) >= 0x90))
    return 0;
  return length;
}

// A name is bytes: each byte that is not UTF-8 is written as "\xNN", and so is a backslash
// where it is not the path separator, so two different names never print alike in JSON.
std::string EscapedForJson(std::string_view text) {
  std::string escaped;
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0 || (text[0] == '\\' && kPathSeparator != L'\\')) {
      static const char kHex[] = "0123456789abcdef";
      const auto value = static_cast<unsigned char>(text[0]);
      escaped += {'\\', 'x', kHex[value >> 4], kHex[value & 15]};
      text.remove_prefix(1);
    } else {
      escaped += text.substr(0, length);
      text.remove_prefix(length);
    }
  }
  return escaped;
}

int Fail(const Options& options, const std::string& message) {
  PrintLines(options.json ? nlohmann::json{{"error", EscapedForJson(message)}}.dump(2) : message);
  return kExitError;
}

std::string IndexFailureText(IndexFailure failure, bool serverRefused) {
  switch (failure) {
    case IndexFailure::Unavailable:
      return "The server could not be reached, and no index of known families is kept on this machine.";
    case IndexFailure::Refused:
    case IndexFailure::None: break;
  }
  return serverRefused ? "The server's index failed verification and was not used, and no verified copy is kept "
                         "on this machine."
                       : "The server could not be reached, and the index kept on this machine failed verification.";
}

// Reads every file once and hands its name and sample to the scores.
bool Scan(const std::vector<std::string>& paths, FamilyScores& scores, WalkSummary& walk, std::string& failedPath) {
  const FileVisitor visit = [&scores](const EntryHandle& file, const std::string& name) {
    FileSample sample;
    if (!ReadFileSample(file, sample)) return false;
    scores.AddFile(ToLowerAscii(name), sample);
    return true;
  };
  return WalkPaths(paths, kMaxScannedFiles, visit, walk, failedPath);
}

}  // namespace

int RunIdentify(const std::vector<std::string>& arguments) {
  Options options;
  std::string error;
  if (!ParseOptions(arguments, options, error)) return Fail(options, error);
  if (options.help) {
    for (const wchar_t* line : kHelp) ConsoleLine(line);
    return kExitCandidates;
  }
  if (options.version) {
    PrintLines(BuildIdentityText("kyridentify"));
    return kExitCandidates;
  }
  ObtainedIndex obtained;
  const IndexFailure failure = ObtainIndex(obtained);
  if (failure != IndexFailure::None) return Fail(options, IndexFailureText(failure, obtained.serverRefused));
  FamilyScores scores(obtained.index);
  IdentifyReport report{obtained.index.version, obtained.origin, obtained.serverRefused, {}, {}, obtained.kept};
  std::string failedPath;
  if (!Scan(options.paths, scores, report.walk, failedPath))
    return Fail(options, "Cannot read " + failedPath + ": no such file or folder, or access denied.");
  report.candidates = scores.Ranked();
  if (options.json) PrintLines(RenderJson(report));
  else
    for (const std::string& line : RenderText(report)) PrintLines(line);
  return report.candidates.empty() ? kExitNoCandidate : kExitCandidates;
}

}  // namespace Kyrowan::Identify
