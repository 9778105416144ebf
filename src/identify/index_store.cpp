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

// The server's index, fetched to a file of this run's own beside the kept copy, verified there
// and only then copied over the kept copy.
enum class Fetch { Loaded, Failed, Refused };

Fetch FetchServerIndex(const std::wstring& keptPath, HintIndex& index) {
  std::wstring guid;
  if (CreateGuidText(guid) != 0) return Fetch::Failed;
  const std::wstring download = keptPath + L"." + guid.substr(1, guid.size() - 2);
  // Stopped at the cap: an index too large to take is not downloaded first.
  const bool fetched =
      ServerDownloadToFile(Protocol::WidePath(Protocol::kIdentifyPath), download, Protocol::kMaxIndexFileBytes);
  std::string bytes;
  const IndexLoad load = fetched ? LoadSignedIndex(download, index, &bytes) : IndexLoad::Missing;
  RemoveFile(download);
  if (load == IndexLoad::Refused) return Fetch::Refused;
  if (load != IndexLoad::Loaded) return Fetch::Failed;
  // A copy that cannot be kept does not stop this run from using the index.
  ReplaceFileAtomically(keptPath, bytes);
  return Fetch::Loaded;
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
  std::wstring root;
  if (!GetDataFolder(kDataFolderSuffix, root)) return IndexFailure::NoDataFolder;
  const std::wstring dataFolder = root + kPathSeparator + L"data";
  if (!CreateFolderTree(dataFolder)) return IndexFailure::NoDataFolder;
  const std::wstring keptPath = dataFolder + kPathSeparator + L"identify-index.kpkg";
  const Fetch fetch = FetchServerIndex(keptPath, out.index);
  if (fetch == Fetch::Loaded) {
    out.origin = IndexOrigin::Server;
    return IndexFailure::None;
  }
  out.serverRefused = fetch == Fetch::Refused;
  out.origin = IndexOrigin::Kept;
  switch (LoadSignedIndex(keptPath, out.index)) {
    case IndexLoad::Loaded: return IndexFailure::None;
    case IndexLoad::Refused: return IndexFailure::Refused;
    case IndexLoad::Missing: break;
  }
  return out.serverRefused ? IndexFailure::Refused : IndexFailure::Unavailable;
}

}  // namespace Kyrowan::Identify
