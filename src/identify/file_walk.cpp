#include "identify/file_walk.h"

#include <algorithm>
#include <filesystem>

#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Identify {

namespace {

using Windows::FolderEntry;
using Windows::PathKind;

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  const bool endsWithSeparator = !folder.empty() && (folder.back() == Windows::kPathSeparator || folder.back() == L'/');
  return endsWithSeparator ? folder + name : folder + Windows::kPathSeparator + name;
}

std::wstring NameOf(const std::wstring& path) {
  const auto separator = path.find_last_of(std::wstring(L"/") + Windows::kPathSeparator);
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// How a given path is compared with the others: where it leads once links are followed
// (a link given beside the folder it points into would otherwise be walked twice), else
// absolute, without "." or ".."; one kind of separator, no trailing one, and folded to
// lower case where case does not count.
std::filesystem::path ComparableSpelling(const std::wstring& path) {
  std::error_code failed;
  std::filesystem::path spelling = std::filesystem::canonical(path, failed);
  if (failed) spelling = std::filesystem::absolute(path, failed);
  spelling = (failed ? std::filesystem::path(path) : spelling).lexically_normal();
  if (spelling.has_relative_path() && spelling.filename().empty()) spelling = spelling.parent_path();
  return Windows::kPathsIgnoreCase ? std::filesystem::path(Windows::ToLowerText(spelling.wstring())) : spelling;
}

bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

// A path given twice, or lying inside a given folder, is walked once: otherwise its
// files would be counted twice as evidence.
std::vector<bool> CoveredByAnother(const std::vector<std::wstring>& paths, const std::vector<PathKind>& kinds) {
  std::vector<std::filesystem::path> spellings;
  for (const std::wstring& path : paths) spellings.push_back(ComparableSpelling(path));
  std::vector<bool> covered(paths.size(), false);
  for (std::size_t i = 0; i < paths.size(); ++i)
    for (std::size_t j = 0; j < paths.size() && !covered[i]; ++j) {
      const bool same = spellings[i] == spellings[j];
      const bool inside = kinds[j] == PathKind::Folder && IsSameOrInside(spellings[i], spellings[j]);
      covered[i] = same ? j < i : inside;
    }
  return covered;
}

class Walk {
 public:
  Walk(std::size_t maxFiles, const FileVisitor& visit, WalkSummary& summary)
      : maxFiles_(maxFiles), visit_(visit), summary_(summary) {}

  // False when the walk must stop: at the limit, or `given` could not be read.
  bool File(const std::wstring& path, const std::wstring& name, bool given) {
    if (summary_.files + summary_.unreadable >= maxFiles_) {
      summary_.limitReached = true;
      return false;
    }
    if (visit_(path, name)) {
      ++summary_.files;
      return true;
    }
    if (given) return false;
    ++summary_.unreadable;
    return true;
  }

  // Folders are kept on a list rather than recursed into, so depth cannot exhaust the stack.
  bool Folder(const std::wstring& root) {
    std::vector<std::wstring> pending{root};
    std::vector<FolderEntry> entries;
    while (!pending.empty()) {
      const std::wstring folder = std::move(pending.back());
      pending.pop_back();
      if (!Windows::ListFolderEntries(folder, entries)) {
        if (folder == root) return false;
        ++summary_.unreadable;
        continue;
      }
      // Sorted, so which files a limited walk reaches does not depend on the listing order.
      std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
      const std::size_t firstSubfolder = pending.size();
      for (const FolderEntry& entry : entries) {
        const std::wstring path = JoinPath(folder, entry.name);
        if (entry.kind == PathKind::Folder) pending.push_back(path);
        else if (entry.kind == PathKind::Other) ++summary_.skipped;
        else if (!File(path, entry.name, false)) return true;
      }
      std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstSubfolder), pending.end());
    }
    return true;
  }

 private:
  std::size_t maxFiles_;
  const FileVisitor& visit_;
  WalkSummary& summary_;
};

}  // namespace

bool WalkPaths(const std::vector<std::wstring>& paths, std::size_t maxFiles, const FileVisitor& visit,
               WalkSummary& summary, std::wstring& failedPath) {
  summary = WalkSummary{};
  std::vector<PathKind> kinds;
  for (const std::wstring& path : paths) {
    PathKind kind = PathKind::Other;
    if (!Windows::GetPathKind(path, kind) || kind == PathKind::Other) {
      failedPath = path;
      return false;
    }
    kinds.push_back(kind);
  }
  const std::vector<bool> covered = CoveredByAnother(paths, kinds);
  Walk walk(maxFiles, visit, summary);
  for (std::size_t i = 0; i < paths.size() && !summary.limitReached; ++i) {
    if (covered[i]) continue;
    const bool read = kinds[i] == PathKind::File ? walk.File(paths[i], NameOf(paths[i]), true) || summary.limitReached
                                                 : walk.Folder(paths[i]);
    if (!read) {
      failedPath = paths[i];
      return false;
    }
  }
  return true;
}

}  // namespace Kyrowan::Identify
