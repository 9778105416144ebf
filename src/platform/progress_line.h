#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace Kyrowan::Windows {

/// The status text of a long operation: what it works on, bytes so far and in
/// all (0: not known), percent, rate and time left, from the seconds it has run.
/// It stays shorter than `columns`: a long label loses the middle of its name, never
/// the version after its last space.
std::string FormatProgress(std::string_view label, std::uint64_t done, std::uint64_t total, double elapsedSeconds,
                           std::size_t columns = 80);

/// What a download from `urlPath` fetches, as the status line names it:
/// "decryptor NAME VERSION", "library ...", "runtime ...".
std::string DownloadLabel(std::wstring_view urlPath);

/// A status line on standard error for a long operation over a count of bytes.
/// Drawn only when standard error is a terminal, at most ten times a second and
/// not before `quietFor` has passed; cleared when the operation ends (destruction).
class ProgressLine {
 public:
  explicit ProgressLine(std::string label, std::uint64_t total = 0,
                        std::chrono::milliseconds quietFor = std::chrono::milliseconds(0));
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// `done` bytes of `total` (0: not known) are through.
  void Update(std::uint64_t done, std::uint64_t total);
  /// `bytes` more are through, of the total given at construction.
  void Advance(std::uint64_t bytes) { Update(done_ + bytes, total_); }

 private:
  using Clock = std::chrono::steady_clock;

  std::string label_;
  std::uint64_t done_ = 0;
  std::uint64_t total_ = 0;
  bool enabled_ = false;
  bool drawn_ = false;
  Clock::time_point started_;
  Clock::time_point firstDraw_;
  Clock::time_point lastDraw_;
};

}  // namespace Kyrowan::Windows
