#include "identify/index_store.h"

#include "package/package_file.h"
#include "platform/file_system.h"
#include "platform/guid.h"
#include "platform/http_client.h"
#include "platform/mapped_file.h"
#include "platform/signature_verifier.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Identify {

namespace {

using namespace Kyrowan::Windows;

// The server's index is fetched to a file of this run's own in the temporary folder, verified
// there and only then copied over the kept copy: a data folder that cannot be written does
// not keep the run from using a verified index.
enum class Fetch { Loaded, Failed, Refused };

std::wstring DownloadPath() {
  std::wstring guid;
  std::wstring folder;
  if (CreateGuidText(guid) != 0 || !GetTemporaryFolder(folder)) return {};
  return folder + kPathSeparator + L"kyridentify-index." + guid.substr(1, guid.size() - 2);
}

// `keptPath` is empty when there is no data folder to keep the index in.
Fetch FetchServerIndex(const std::wstring& keptPath, HintIndex& index, bool& kept) {
  const std::wstring download = DownloadPath();
  if (download.empty()) return Fetch::Failed;
  // Stopped at the cap: an index too large to take is not downloaded first.
  const bool fetched =
      ServerDownloadToFile(Protocol::WidePath(Protocol::kIdentifyPath), download, Protocol::kMaxIndexFileBytes);
  std::string bytes;
  const IndexLoad load = fetched ? LoadSignedIndex(download, index, &bytes) : IndexLoad::Missing;
  RemoveFile(download);
  if (load == IndexLoad::Refused) return Fetch::Refused;
  if (load != IndexLoad::Loaded) return Fetch::Failed;
  kept = !keptPath.empty() && ReplaceFileAtomically(keptPath, bytes);
  return Fetch::Loaded;
}

// The kept copy's path, with its folder created; empty when the data folder cannot be had.
std::wstring KeptIndexPath() {
  std::wstring root;
  if (!GetDataFolder(kDataFolderSuffix, root)) return {};
  const std::wstring dataFolder = root + kPathSeparator + L"data";
  if (!CreateFolderTree(dataFolder)) return {};
  return dataFolder + kPathSeparator + L"identify-index.kpkg";
}

}  // namespace

IndexLoad LoadSignedIndex(const std::wstring& path, HintIndex& index, std::string* fileBytes) {
  MappedFile file(path);
  if (!file.OpenUnmapped()) return file.empty || PathExists(path) ? IndexLoad::Refused : IndexLoad::Missing;
  // The package-file check passes a file it has no key for; an index has nothing else to vouch for it.
  if (SignatureVerifier::Instance() == nullptr || file.fileSize > Protocol::kMaxIndexFileBytes)
    return IndexLoad::Refused;
  PackageFileHeader header;
  std::string payload;
  if (!VerifyPackageFile(file, header) ||
      !ReadFileRange(file, static_cast<std::int64_t>(kPackageHeaderSize), static_cast<std::int64_t>(header.payloadLength),
                 payload) ||
      !ParseHintIndex(payload, index))
    return IndexLoad::Refused;
  if (fileBytes != nullptr && !ReadFileRange(file, 0, file.fileSize, *fileBytes)) return IndexLoad::Refused;
  return IndexLoad::Loaded;
}

IndexFailure ObtainIndex(ObtainedIndex& out) {
  const std::wstring keptPath = KeptIndexPath();
  const Fetch fetch = FetchServerIndex(keptPath, out.index, out.kept);
  if (fetch == Fetch::Loaded) {
    out.origin = IndexOrigin::Server;
    return IndexFailure::None;
  }
  out.serverRefused = fetch == Fetch::Refused;
  out.origin = IndexOrigin::Kept;
  out.kept = true;
  switch (keptPath.empty() ? IndexLoad::Missing : LoadSignedIndex(keptPath, out.index)) {
    case IndexLoad::Loaded: return IndexFailure::None;
    case IndexLoad::Refused: return IndexFailure::Refused;
    case IndexLoad::Missing: break;
  }
  return out.serverRefused ? IndexFailure::Refused : IndexFailure::Unavailable;
}

}  // namespace Kyrowan::Identify
