#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan::Windows {

/// How long a temporary file must have stood unchanged before it counts as abandoned.
inline constexpr std::int64_t kAbandonedAfterSeconds = 10 * 60;

/// The separator of file-system paths on this platform (URL paths always use "/").
extern const wchar_t kPathSeparator;
/// Whether file names that differ only in ASCII letter case name the same file.
extern const bool kPathsIgnoreCase;
/// What every caller appends to the application-data folder: separator, "Kyrowan", separator, "KyrDecrypt".
extern const wchar_t* const kDataFolderSuffix;

/// The machine-wide application-data folder followed directly by `suffix`.
bool GetDataFolder(std::wstring_view suffix, std::wstring& out);
/// The machine-wide application-data folder as the system names it, without the test seam.
bool GetMachineDataFolder(std::wstring& out);
/// Makes GetDataFolder start from `folder` instead of the machine's application-data
/// folder (a scratch root for work that must not touch this machine's, and tests);
/// an empty folder restores the machine's. Returns the folder it replaces.
std::wstring SetApplicationDataFolder(const std::wstring& folder);
/// The path with its last component removed; false for an empty or over-long path,
/// or when nothing could be removed.
bool GetParentFolder(std::wstring_view path, std::wstring& out);
/// The folder for this user's short-lived files, without a trailing separator.
bool GetTemporaryFolder(std::wstring& out);

/// Creates a folder and every missing parent, each readable by all and writable
/// only by us (0755 where folders have such bits); an existing folder is success.
bool CreateFolderTree(const std::wstring& folder);
/// Whether a file or folder exists at `path`.
bool PathExists(const std::wstring& path);
/// Deletes one file; false if it could not be deleted (or did not exist).
bool RemoveFile(const std::wstring& path);
/// Deletes a folder and everything in it; a missing folder is success.
bool RemoveFolderTree(const std::wstring& folder);
/// Deletes a folder only when it is empty; false when it is not, or could not be deleted.
bool RemoveEmptyFolder(const std::wstring& folder);
/// Moves a file or folder, flushing the change to disk; fails if the target exists.
bool MovePath(const std::wstring& from, const std::wstring& to);
/// Moves a file over `to`, replacing what is there; a link at `to` is replaced, never followed.
bool MoveFileOver(const std::wstring& from, const std::wstring& to);
/// The names of the folders directly inside `folder`, in no particular order;
/// false when `folder` cannot be read.
bool ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& out);

/// What a path is. Entries of a listing are judged without following links: a
/// symbolic link (a reparse point on Windows), a device or a pipe is Other.
enum class PathKind { File, Folder, Other };

/// One entry directly inside a folder.
struct FolderEntry {
  std::wstring name;
  PathKind kind = PathKind::Other;
};

/// The entries directly inside `folder` ("." and ".." left out), in no particular
/// order; false when `folder` cannot be read.
bool ListFolderEntries(const std::wstring& folder, std::vector<FolderEntry>& out);
/// What `path` itself is, following a link there; false when it cannot be looked at.
bool GetPathKind(const std::wstring& path, PathKind& kind);

/// Creates or replaces a file with `bytes`: written to a new file of an unpredictable
/// name beside it, then renamed over it, so a link planted at `path` is never followed.
bool WriteNewFile(const std::wstring& path, std::string_view bytes);
/// Creates `path` holding `bytes`, readable and writable by its owner only.
/// Fails when anything is already there, a symbolic link included, so a file
/// of another run or user is never written through or replaced; a file left
/// half-written is removed again.
bool CreateExclusiveFile(const std::wstring& path, std::string_view bytes);
/// Like WriteNewFile, and durable: a crash leaves either the old or the new content.
bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes);
/// Whether `fileName` has the form of the temporary file WriteNewFile and
/// ReplaceFileAtomically write beside their target, as one a killed writer leaves.
bool IsTemporaryCopyName(std::wstring_view fileName);
/// Deletes the temporary files in `folder` that writers killed mid-way left there: those
/// unchanged for `minimumAge` seconds and no longer held by their writer. A file another
/// process is still writing is never deleted. Best effort; nothing is reported.
void RemoveAbandonedTemporaryFiles(const std::wstring& folder, std::int64_t minimumAge = kAbandonedAfterSeconds);

}  // namespace Kyrowan::Windows
