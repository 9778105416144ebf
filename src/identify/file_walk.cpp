#include "identify/file_walk.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/entry_handle.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Identify {

namespace {

using Windows::EntryHandle;
using Windows::EntryKind;

bool IsSeparator(char c) { return c == '/' || c == static_cast<char>(Windows::kPathSeparator); }

std::string NameOf(const std::string& path) {
  const auto separator = std::find_if(path.rbegin(), path.rend(), IsSeparator);
  return std::string(separator.base(), path.end());
}

// The file system's own spelling: bytes as they are on POSIX, UTF-8 read as such on Windows.
std::filesystem::path NativePath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// How a given path is compared with the others: where it leads once links are followed
// (a link given beside the folder it points into would otherwise be walked twice), else
// absolute, without "." or ".."; one kind of separator, no trailing one, and folded to
// lower case where case does not count.
std::filesystem::path ComparableSpelling(const std::string& path) {
  std::error_code failed;
  std::filesystem::path spelling = std::filesystem::canonical(NativePath(path), failed);
  if (failed) spelling = std::filesystem::absolute(NativePath(path), failed);
  spelling = (failed ? NativePath(path) : spelling).lexically_normal();
  if (spelling.has_relative_path() && spelling.filename().empty()) spelling = spelling.parent_path();
  return Windows::kPathsIgnoreCase ? std::filesystem::path(Windows::ToLowerText(spelling.wstring())) : spelling;
}

bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

// A path given twice, or lying inside a given folder, is walked once: otherwise its
// files would be counted twice as evidence.
std::vector<bool> CoveredByAnother(const std::vector<std::string>& paths, const std::vector<EntryHandle>& opened) {
  std::vector<std::filesystem::path> spellings;
  for (const std::string& path : paths) spellings.push_back(ComparableSpelling(path));
  std::vector<bool> covered(paths.size(), false);
  for (std::size_t i = 0; i < paths.size(); ++i)
    for (std::size_t j = 0; j < paths.size() && !covered[i]; ++j) {
      const bool same = spellings[i] == spellings[j];
      const bool inside = opened[j].Kind() == EntryKind::Folder && IsSameOrInside(spellings[i], spellings[j]);
      covered[i] = same ? j < i : inside;
    }
  return covered;
}

// An entry still to be opened, through its folder's handle (held open until its last entry is).
struct PendingEntry {
  std::shared_ptr<const EntryHandle> folder;
  std::string name;
};

class Walk {
 public:
  Walk(std::size_t maxFiles, const FileVisitor& visit, WalkSummary& summary)
      : maxFiles_(maxFiles), visit_(visit), summary_(summary) {}

  // False when the walk must stop: at the limit, or `given` could not be read.
  bool File(const EntryHandle& file, const std::string& name, bool given) {
    if (summary_.files + summary_.unreadable >= maxFiles_) {
      summary_.limitReached = true;
      return false;
    }
    if (visit_(file, name)) {
      ++summary_.files;
      return true;
    }
    if (given) return false;
    ++summary_.unreadable;
    return true;
  }

  // Entries are kept on a list rather than recursed into, so depth cannot exhaust the
  // stack; only the folders along the current branch stay open.
  bool Folder(EntryHandle root) {
    std::vector<PendingEntry> pending;
    if (!List(std::make_shared<const EntryHandle>(std::move(root)), pending)) return false;
    while (!pending.empty()) {
      const PendingEntry next = std::move(pending.back());
      pending.pop_back();
      EntryHandle entry = next.folder->OpenChild(next.name);
      if (entry.Kind() == EntryKind::NotFollowed) ++summary_.skipped;
      else if (entry.Kind() == EntryKind::Unreadable) ++summary_.unreadable;
      else if (entry.Kind() == EntryKind::File && !File(entry, next.name, false)) return true;
      else if (entry.Kind() == EntryKind::Folder && !List(std::make_shared<const EntryHandle>(std::move(entry)), pending))
        ++summary_.unreadable;
    }
    return true;
  }

 private:
  // Sorted, so which files a limited walk reaches does not depend on the listing order.
  static bool List(const std::shared_ptr<const EntryHandle>& folder, std::vector<PendingEntry>& pending) {
    std::vector<std::string> names;
    if (!folder->ListNames(names)) return false;
    std::sort(names.rbegin(), names.rend());
    for (std::string& name : names) pending.push_back({folder, std::move(name)});
    return true;
  }

  std::size_t maxFiles_;
  const FileVisitor& visit_;
  WalkSummary& summary_;
};

}  // namespace

bool WalkPaths(const std::vector<std::string>& paths, std::size_t maxFiles, const FileVisitor& visit,
               WalkSummary& summary, std::string& failedPath) {
  summary = WalkSummary{};
  std::vector<EntryHandle> opened;
  for (const std::string& path : paths) {
    opened.push_back(EntryHandle::OpenPath(path));
    if (opened.back().Kind() != EntryKind::File && opened.back().Kind() != EntryKind::Folder) {
      failedPath = path;
      return false;
    }
  }
  const std::vector<bool> covered = CoveredByAnother(paths, opened);
  Walk walk(maxFiles, visit, summary);
  for (std::size_t i = 0; i < paths.size() && !summary.limitReached; ++i) {
    if (covered[i]) continue;
    const bool read = opened[i].Kind() == EntryKind::File
                          ? walk.File(opened[i], NameOf(paths[i]), true) || summary.limitReached
                          : walk.Folder(std::move(opened[i]));
    if (!read) {
      failedPath = paths[i];
      return false;
    }
  }
  return true;
}

}  // namespace Kyrowan::Identify
