#include "platform/run_summary.h"

#include <ctime>
#include <string_view>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/run_log.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

// Names, URLs and system texts come from outside: one event stays one line.
std::string OneLine(std::wstring_view text) { return PrintableText(ToUtf8(text)); }

std::string LogLines(const RunSummary& run, const std::vector<FailureCause>& causes) {
  const std::string prefix = UtcTimestamp() + " " + OneLine(run.program) + " ";
  std::string lines = prefix + "command: " + OneLine(run.command) + "\n";
  for (const FailureCause& cause : causes) lines += prefix + "cause: " + OneLine(cause.text) + "\n";
  lines += prefix + (run.failed ? "failed: " : "succeeded: ") + OneLine(run.result) + "\n";
  return lines;
}

std::wstring ErrorText(const RunSummary& run, const std::vector<FailureCause>& causes) {
  if (causes.empty()) return run.result;
  std::wstring text;
  for (const FailureCause& cause : causes) text.append(text.empty() ? L"" : L"; ").append(cause.text);
  return text;
}

void WriteLog(const RunSummary& run, const std::string& lines) {
  if (run.logPath.empty() || AppendToRunLog(run.logPath, lines)) return;
  // A failed run is worth a log folder of its own; a good one is not.
  std::wstring folder;
  if (run.failed && GetParentFolder(run.logPath, folder) && CreateFolderTree(folder))
    AppendToRunLog(run.logPath, lines);
}

}  // namespace

std::string UtcTimestamp() {
  const std::int64_t millis = CurrentTimeMillis();
  const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  char text[32] = "";
  if (const std::tm* utc = std::gmtime(&seconds)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", utc);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(millis % 1000));
  return std::string(text) + fraction;
}

std::wstring DataRootLogPath() {
  std::wstring root;
  if (!GetDataFolder(kDataFolderSuffix, root)) return {};
  return root + kPathSeparator + L"data" + kPathSeparator + L"kyrdecrypt.log";
}

void ReportRun(const RunSummary& run) {
  // A cause noted on the way to a success was overcome: it is no cause of this run.
  std::vector<FailureCause> causes = TakeCauses();
  if (!run.failed) causes.clear();
  if (run.failed) ErrorLine(FromUtf8(OneLine(run.program + L": " + ErrorText(run, causes))));
  WriteLog(run, LogLines(run, causes));
}

}  // namespace Kyrowan::Windows
