#include "platform/zip_archive_reader.h"

#include <cstring>

#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include "platform/file_system.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

constexpr std::size_t kNameBufferSize = 260;
// The library's limit for locating a name; longer ones are refused so any tool can find each entry.
constexpr std::size_t kMaxLocatableName = 255;
constexpr std::size_t kChunkSize = 16384;
constexpr unsigned long kHostUnix = 3;
constexpr std::uint32_t kFileTypeMask = 0170000;
constexpr std::uint32_t kRegularFile = 0100000;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool HasUnixMode(const unz_file_info64& info) { return (info.version >> 8) == kHostUnix; }

std::uint32_t UnixMode(const unz_file_info64& info) {
  return static_cast<std::uint32_t>((info.external_fa >> 16) & 0xFFFFu);
}

bool HasSafeName(const std::string& name) {
  if (name.empty() || name.size() > kMaxLocatableName) return false;
  // Root and drive prefixes, and Windows stream names.
  if (IsSeparator(name.front()) || name.find(':') != std::string::npos) return false;
  // A folder entry has nothing to write.
  if (IsSeparator(name.back())) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// The stored name with both slash kinds turned into this platform's separator.
std::wstring TargetPath(const std::wstring& folder, const std::string& name) {
  std::wstring path = folder;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  for (wchar_t c : ToWide(name)) path += (c == L'/' || c == L'\\') ? kPathSeparator : c;
  return path;
}

}  // namespace

bool IsSafeZipEntry(const ZipEntry& entry) {
  if (!HasSafeName(entry.name)) return false;
  if (!HasUnixMode(entry.info)) return true;
  const std::uint32_t type = UnixMode(entry.info) & kFileTypeMask;
  return type == 0 || type == kRegularFile;
}

ZipArchiveReader::ZipArchiveReader(std::wstring archivePathIn, std::wstring targetFolderIn, std::int64_t offset,
                                   std::int64_t length)
    : archivePath(std::move(archivePathIn)),
      targetFolder(std::move(targetFolderIn)),
      archiveOffset(offset),
      archiveLength(length) {}

ZipArchiveReader::~ZipArchiveReader() { Close(); }

bool ZipArchiveReader::Open() {
  if (archive != nullptr) return true;
  if (archivePath.empty() || targetFolder.empty() || archiveOffset < 0) return false;
  span_ = ZipSpanIo{};
  span_.offset = static_cast<std::uint64_t>(archiveOffset);
  span_.length = archiveLength;
#ifdef _WIN32
  // The Win32 file functions take the wide path as it is.
  fill_win32_filefunc64W(&span_.platform);
  const void* path = archivePath.c_str();
#else
  fill_fopen64_filefunc(&span_.platform);
  const std::string narrow = ToUtf8(archivePath);
  const void* path = narrow.c_str();
#endif
  zlib_filefunc64_def fileFunctions{};
  FillSpanFileFunctions(span_, fileFunctions);
  archive = unzOpen2_64(path, &fileFunctions);
  return archive != nullptr;
}

bool ZipArchiveReader::ListEntries(std::vector<ZipEntry>& entries) {
  entries.clear();
  if (archive == nullptr || unzGoToFirstFile(archive) != UNZ_OK) return false;
  for (;;) {
    ZipEntry entry;
    char buffer[kNameBufferSize] = {};
    if (unzGetCurrentFileInfo64(archive, &entry.info, buffer, sizeof buffer, nullptr, 0, nullptr, 0) != UNZ_OK)
      return false;
    // A name that fills the buffer has no terminator in it: refuse rather than read on.
    if (entry.info.size_filename >= kNameBufferSize) return false;
    entry.name.assign(buffer, ::strnlen(buffer, sizeof buffer));
    // An empty name, or one cut short by a NUL byte, names no file we could find again.
    if (entry.name.empty() || entry.name.size() != entry.info.size_filename) return false;
    if (unzGetFilePos64(archive, &entry.position) != UNZ_OK) return false;
    entries.push_back(std::move(entry));
    if (unzGoToNextFile(archive) != UNZ_OK) return true;
  }
}

bool ZipArchiveReader::ExtractAll() {
  std::vector<ZipEntry> entries;
  if (!ListEntries(entries)) return false;
  // Judge every name before the first byte is written, so a bad archive leaves nothing behind.
  for (const ZipEntry& entry : entries)
    if (!IsSafeZipEntry(entry)) return false;
  for (const ZipEntry& entry : entries)
    if (!ExtractEntry(entry)) return false;
  return true;
}

bool ZipArchiveReader::ExtractEntry(const ZipEntry& entry) {
  if (archive == nullptr || !IsSafeZipEntry(entry)) return false;
  // By position, not by name: locating each name walks the listing again from its start,
  // quadratic in the entry count, and a repeated name would find its first entry each time.
  if (unzGoToFilePos64(archive, &entry.position) != UNZ_OK) return false;
  const std::wstring target = TargetPath(targetFolder, entry.name);
  std::wstring parent;
  if (!GetParentFolder(target, parent) || !CreateFolderTree(parent)) return false;
  OutputFile file;
  if (!file.Create(target)) return false;
  if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
  char buffer[kChunkSize];
  for (;;) {
    const int count = unzReadCurrentFile(archive, buffer, sizeof buffer);
    if (count < 0 || (count > 0 && !file.Write(buffer, static_cast<std::size_t>(count)))) {
      unzCloseCurrentFile(archive);
      return false;
    }
    if (count == 0) break;
  }
  unzCloseCurrentFile(archive);
  if (HasUnixMode(entry.info) && (UnixMode(entry.info) & 0777u) != 0 &&
      !file.SetUnixPermissions(UnixMode(entry.info)))
    return false;
  return file.Close();
}

void ZipArchiveReader::Close() {
  if (archive != nullptr) {
    unzCloseCurrentFile(archive);
    unzClose(archive);
    archive = nullptr;
  }
  archivePath.clear();
  targetFolder.clear();
  archiveOffset = 0;
  archiveLength = -1;
}

}  // namespace Kyrowan::Windows
