#pragma once

#include <string>

namespace Kyrowan::Windows {

/// What one run of a program did, as its front end tells it.
struct RunSummary {
  std::wstring program;  ///< "kyrdecrypt", "kyridentify", ...: the prefix of its error line
  std::wstring command;  ///< the command line after the program name
  std::wstring result;   ///< the result in words, as shown to the user
  bool failed = false;
  std::wstring logPath;  ///< where the run is logged; empty: nowhere
};

/// The log of this machine's data root, "data/kyrdecrypt.log"; empty when there is no data root.
std::wstring DataRootLogPath();

/// The current time in UTC to the millisecond, as "2026-12-09T10:12:51.123Z".
std::string UtcTimestamp();

/// Ends a run: when it failed, one line on standard error, "<program>: " and the
/// causes its layers recorded (the result when none was); and its command, causes
/// and result appended to the log, one time-stamped line each. A log that cannot
/// be written is passed over.
void ReportRun(const RunSummary& run);

}  // namespace Kyrowan::Windows
