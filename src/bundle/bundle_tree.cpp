#include "bundle/bundle_tree.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "catalogue/version.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Bundle {

using namespace Windows;

namespace {

struct DownloadRoot {
  const wchar_t* kind;
  std::string_view prefix;
};

constexpr DownloadRoot kRoots[] = {
    {L"decryptor", Protocol::kDecryptorDownloadPrefix},
    {L"library", Protocol::kLibraryDownloadPrefix},
    {L"runtime", Protocol::kRuntimeDownloadPrefix},
};

// A relative tree path with this platform's separators.
std::wstring Under(const std::wstring& folder, const std::string& relative) {
  std::wstring path = FromUtf8(relative);
  std::replace(path.begin(), path.end(), L'/', kPathSeparator);
  return folder + kPathSeparator + path;
}

std::wstring RootFolder(const std::wstring& folder, std::string_view prefix) {
  std::string relative(prefix.substr(1));
  relative.pop_back();  // the prefix ends in "/"
  return Under(folder, relative);
}

std::vector<std::wstring> EntriesOfKind(const std::wstring& folder, PathKind kind) {
  std::vector<FolderEntry> entries;
  std::vector<std::wstring> names;
  if (!ListFolderEntries(folder, entries)) return names;
  for (const FolderEntry& entry : entries)
    if (entry.kind == kind && Protocol::IsSafePathPart(ToUtf8(entry.name))) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

bool SameBytes(const std::wstring& a, const std::wstring& b) {
  MappedFile first(a), second(b);
  if (!first.Open() || !second.Open()) return false;
  return first.fileSize == second.fileSize &&
         std::memcmp(first.data, second.data, static_cast<std::size_t>(first.fileSize)) == 0;
}

}  // namespace

std::wstring BundleFilePath(const std::wstring& folder, const std::wstring& requestPath) {
  const std::string relative = Protocol::TreeFilePath(ToUtf8(requestPath));
  return relative.empty() ? std::wstring() : Under(folder, relative);
}

std::wstring WheelsFolder(const std::wstring& folder) { return folder + kPathSeparator + L"wheels"; }

std::vector<BundleFile> ListBundleFiles(const std::wstring& folder) {
  std::vector<BundleFile> files;
  for (const DownloadRoot& root : kRoots) {
    const std::wstring rootFolder = RootFolder(folder, root.prefix);
    for (const std::wstring& name : EntriesOfKind(rootFolder, PathKind::Folder)) {
      const std::wstring nameFolder = rootFolder + kPathSeparator + name;
      for (const std::wstring& version : EntriesOfKind(nameFolder, PathKind::File))
        files.push_back({root.kind, name, version, nameFolder + kPathSeparator + version});
    }
  }
  return files;
}

std::vector<std::wstring> BundledVersions(const std::wstring& folder, const std::wstring& name) {
  std::vector<std::string> versions;
  for (const BundleFile& file : ListBundleFiles(folder))
    if (file.kind == L"decryptor" && file.name == name && file.version != kLatestVersionWide)
      versions.push_back(ToUtf8(file.version));
  SortVersions(versions);
  std::vector<std::wstring> highestFirst;
  for (auto it = versions.rbegin(); it != versions.rend(); ++it) highestFirst.push_back(FromUtf8(*it));
  return highestFirst;
}

bool CopyIntoBundle(const std::wstring& from, const std::wstring& to) {
  if (PathExists(to) && SameBytes(from, to)) return true;
  std::wstring parent;
  if (GetParentFolder(to, parent) && !CreateFolderTree(parent)) {
    RecordFileFailure(L"create", parent, LastOsError());
    return false;
  }
  MappedFile source(from);
  OutputFile file;
  std::wstring temporary;
  if (!source.OpenUnmapped() && !source.empty) {
    RecordFileFailure(L"read", from, LastOsError());
    return false;
  }
  if (!file.CreateBeside(to, temporary)) return false;
  const bool copied =
      source.ReadWindows(0, source.fileSize, [&](const char* data, std::size_t size) { return file.Write(data, size); });
  if (file.Close() && copied && MoveFileOver(temporary, to)) return true;
  RecordFileFailure(L"write", to, LastOsError());
  RemoveFile(temporary);
  return false;
}

}  // namespace Kyrowan::Bundle
