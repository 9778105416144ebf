#include "platform/progress_line.h"

#include <cstdio>
#include <vector>

#include "platform/console.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Printf(const char* format, double value, const char* unit) {
  char text[32];
  std::snprintf(text, sizeof text, format, value, unit);
  return text;
}

std::string FormatByteCount(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return Printf("%.1f %s", value, kUnits[unit]);
}

std::string FormatDuration(std::uint64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  return text;
}

// ": DONE of TOTAL (PERCENT), RATE, TIME left" as far as each is known.
std::string FormatFigures(std::uint64_t done, std::uint64_t total, double elapsedSeconds) {
  std::string line;
  line += ": " + FormatByteCount(done);
  if (total != 0) {
    line += " of " + FormatByteCount(total);
    line += " (" + std::to_string(done >= total ? 100 : done * 100 / total) + "%)";
  }
  // No rate before there is something to measure it by.
  if (done == 0 || elapsedSeconds <= 0) return line + ", --/s" + (total != 0 ? ", --:-- left" : "");
  const double rate = static_cast<double>(done) / elapsedSeconds;
  line += ", " + FormatByteCount(static_cast<std::uint64_t>(rate)) + "/s";
  if (total != 0) line += ", " + FormatDuration(static_cast<std::uint64_t>((total > done ? total - done : 0) / rate + 0.5)) + " left";
  return line;
}

// The first `length` bytes of `text`, never ending inside a UTF-8 sequence.
std::string_view Prefix(std::string_view text, std::size_t length) {
  if (length >= text.size()) return text;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

// `label` in at most `room` bytes: the name before the version is shortened, marked by "~".
std::string FitLabel(std::string_view label, std::size_t room) {
  if (label.size() <= room) return std::string(label);
  const std::size_t space = label.rfind(' ');
  const std::string_view version = space == std::string_view::npos ? std::string_view() : label.substr(space);
  if (version.size() + 1 >= room) return std::string(Prefix(label, room));
  return std::string(Prefix(label, room - version.size() - 1)) + "~" + std::string(version);
}

}  // namespace

std::string FormatProgress(std::string_view label, std::uint64_t done, std::uint64_t total, double elapsedSeconds,
                           std::size_t columns) {
  const std::string figures = FormatFigures(done, total, elapsedSeconds);
  // The last column stays free: writing into it wraps some terminals onto a new row.
  const std::size_t width = columns > 0 ? columns - 1 : 0;
  // Too narrow for the figures: what is fetched matters more.
  const std::size_t room = width > figures.size() ? width - figures.size() : width;
  return std::string(Prefix(FitLabel(label, room) + figures, width));
}

std::string DownloadLabel(std::wstring_view urlPath) {
  // A download path of any kind: three parts of prefix ("package", "library" or "runtime" first),
  // then the name and the version.
  std::vector<std::wstring_view> parts;
  for (std::size_t start = 0; start <= urlPath.size();) {
    std::size_t end = urlPath.find(L'/', start);
    if (end == std::wstring_view::npos) end = urlPath.size();
    if (end > start) parts.push_back(urlPath.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() != 5) return PrintableText(ToUtf8(urlPath));
  const std::wstring_view kind = parts[0] == L"package" ? L"decryptor" : parts[0];
  return PrintableText(ToUtf8(std::wstring(kind) + L" " + std::wstring(parts[3]) + L" " + std::wstring(parts[4])));
}

ProgressLine::ProgressLine(std::string label, std::uint64_t total, std::chrono::milliseconds quietFor)
    : label_(std::move(label)), total_(total), enabled_(ErrorStreamIsTerminal()), started_(Clock::now()),
      firstDraw_(started_ + quietFor) {}

ProgressLine::~ProgressLine() {
  if (drawn_) ErrorStatusClear();
}

void ProgressLine::Update(std::uint64_t done, std::uint64_t total) {
  done_ = done;
  total_ = total;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now < firstDraw_ || (drawn_ && now - lastDraw_ < kRedrawInterval)) return;
  const double elapsed = std::chrono::duration<double>(now - started_).count();
  ErrorStatusLine(FormatProgress(label_, done_, total_, elapsed, ErrorStreamColumns()));
  drawn_ = true;
  lastDraw_ = now;
}

}  // namespace Kyrowan::Windows
