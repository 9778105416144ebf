#include "platform/repository_trust.h"

#include <mutex>
#include <optional>

#include "platform/build_config.h"
#include "platform/clock.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Windows {

namespace {

struct TrustState {
  std::optional<bool> outcome;  ///< set once Ensure has run
  std::optional<std::string> firstRootForTesting;
  TrustRoot root;
  TrustSnapshot snapshot;
  bool haveRoot = false;
  bool tolerateExpiry = false;
  std::string expiryNote;
};

std::mutex trustLock;
TrustState& State() {
  static TrustState state;
  return state;
}

std::string FirstRootText() {
  if (State().firstRootForTesting) return *State().firstRootForTesting;
  const char* text = BuildConfig::TrustRootJson();
  return text ? text : "";
}

// "data/trust/<name>" under the data root, its folder made; empty without a data root.
std::wstring KeptPath(const wchar_t* name) {
  std::wstring root;
  if (!GetDataFolder(kDataFolderSuffix, root)) return {};
  const std::wstring folder = root + kPathSeparator + L"data" + kPathSeparator + L"trust";
  return CreateFolderTree(folder) ? folder + kPathSeparator + name : std::wstring();
}

std::string ReadKept(const std::wstring& path) {
  MappedFile file(path);
  if (path.empty() || !file.Open()) return {};
  return std::string(file.data, static_cast<std::size_t>(file.fileSize));
}

// A verified file is kept for the next run; a data folder that cannot keep it costs only that.
void Keep(const wchar_t* name, const std::string& text) {
  const std::wstring path = KeptPath(name);
  if (!path.empty()) ReplaceFileAtomically(path, text);
}

bool Refuse(const std::string& why) {
  RecordCause(FromUtf8("the signed repository metadata " + why));
  return false;
}

bool Expired(std::int64_t expires, const char* what) {
  const std::int64_t now = CurrentTimeMillis() / 1000;
  if (expires > now) return false;
  const std::string text = std::string("its ") + what + " expired at " + FormatUtcTime(expires) +
                           ", and this machine's clock says " + FormatUtcTime(now);
  if (State().tolerateExpiry) {
    State().expiryNote += (State().expiryNote.empty() ? "" : "; ") + text;
    return false;
  }
  Refuse("is out of date: " + text);
  return true;
}

// The embedded root, or the kept one when it is at least as new.
bool StartingRoot(TrustRoot& root) {
  std::string error;
  if (!ParseTrustRoot(FirstRootText(), root, error)) return Refuse("root built into this program " + error);
  TrustRoot kept;
  if (ParseTrustRoot(ReadKept(KeptPath(L"root.json")), kept, error) && kept.version >= root.version)
    root = std::move(kept);
  return true;
}

// Follows root N+1, N+2 ... until the server has no next one.
bool UpdateRoot(const MetadataFetcher& fetch, TrustRoot& root) {
  for (int step = 0; step < Protocol::kMaxTrustRootSteps; ++step) {
    const std::wstring path = Protocol::WideTrustRootPath(root.version + 1);
    int status = 0;
    std::string body;
    if (!fetch(path, Protocol::kMaxTrustRootBytes, status, body)) {
      if (status == 404) {
        TakeCauses();  // the end of the chain, not a failure
        return !Expired(root.expires, "root");
      }
      return Refuse("root " + ToUtf8(path) + " could not be fetched");
    }
    TrustRoot next;
    std::string error;
    if (!ParseTrustRoot(body, next, error)) return Refuse("root " + ToUtf8(path) + " " + error);
    if (next.version != root.version + 1) return Refuse("root " + ToUtf8(path) + " carries another version");
    if (!MeetsThreshold(next.file, root.keys, root.root) || !MeetsThreshold(next.file, next.keys, next.root))
      return Refuse("root " + ToUtf8(path) + " is not signed by enough root keys");
    Keep(L"root.json", body);
    root = std::move(next);
  }
  return Refuse("has more roots than this program follows");
}

bool SameRole(const TrustRole& a, const TrustRole& b) { return a.keyIds == b.keyIds && a.threshold == b.threshold; }

bool UpdateSnapshot(const MetadataFetcher& fetch, const TrustRoot& root, bool snapshotKeysChanged,
                    TrustSnapshot& snapshot) {
  const std::wstring path = Protocol::WidePath(Protocol::kTrustSnapshotPath);
  int status = 0;
  std::string body;
  std::string error;
  if (!fetch(path, Protocol::kMaxTrustSnapshotBytes, status, body)) return Refuse("snapshot could not be fetched");
  if (!ParseTrustSnapshot(body, snapshot, error)) return Refuse("snapshot " + error);
  if (!MeetsThreshold(snapshot.file, root.keys, root.snapshot))
    return Refuse("snapshot is not signed by enough snapshot keys");
  if (Expired(snapshot.expires, "snapshot")) return false;
  // New snapshot keys let a publisher start again after losing the old ones.
  const std::wstring keptPath = KeptPath(L"snapshot.json");
  if (snapshotKeysChanged && !keptPath.empty()) RemoveFile(keptPath);
  const std::string keptText = snapshotKeysChanged ? std::string() : ReadKept(keptPath);
  TrustSnapshot kept;
  if (ParseTrustSnapshot(keptText, kept, error)) {
    if (snapshot.version < kept.version)
      return Refuse("snapshot has version " + std::to_string(snapshot.version) + ", older than version " +
                    std::to_string(kept.version) + " this machine has seen");
    if (snapshot.version == kept.version && body != keptText)
      return Refuse("snapshot differs from the one of the same version this machine has seen");
  }
  // The same snapshot again is already kept: no durable write on every run.
  if (body != keptText) Keep(L"snapshot.json", body);
  return true;
}

bool Establish(const MetadataFetcher& fetch, TrustState& state) {
  TrustRoot root;
  if (!StartingRoot(root)) return false;
  const TrustRole firstSnapshotRole = root.snapshot;
  if (!UpdateRoot(fetch, root)) return false;
  TrustSnapshot snapshot;
  if (!UpdateSnapshot(fetch, root, !SameRole(firstSnapshotRole, root.snapshot), snapshot)) return false;
  state.root = std::move(root);
  state.snapshot = std::move(snapshot);
  state.haveRoot = true;
  return true;
}

}  // namespace

bool RepositoryTrustEnabled() {
  std::lock_guard<std::mutex> guard(trustLock);
  return !FirstRootText().empty();
}

bool EnsureRepositoryTrust(const MetadataFetcher& fetch) {
  std::lock_guard<std::mutex> guard(trustLock);
  TrustState& state = State();
  if (FirstRootText().empty()) return true;
  if (!state.outcome) return *(state.outcome = Establish(fetch, state));
  if (!*state.outcome) Refuse("could not be made current earlier in this run");
  return *state.outcome;
}

const TrustedFile* ListedTreeFile(std::string_view treePath) {
  std::lock_guard<std::mutex> guard(trustLock);
  const TrustState& state = State();
  if (!state.outcome.value_or(false)) return nullptr;
  const auto found = state.snapshot.files.find(std::string(treePath));
  return found == state.snapshot.files.end() ? nullptr : &found->second;
}

std::vector<std::vector<std::uint8_t>> TrustedPackageKeys() {
  std::lock_guard<std::mutex> guard(trustLock);
  TrustState& state = State();
  // Before (or without) a fetch, the kept root speaks: installed packages are checked with no request.
  if (!state.haveRoot && !FirstRootText().empty()) state.haveRoot = StartingRoot(state.root);
  std::vector<std::vector<std::uint8_t>> blobs;
  if (!state.haveRoot || !state.root.packages) return blobs;
  for (const std::string& id : state.root.packages->keyIds) {
    std::vector<std::uint8_t> blob;
    if (PackageKeyBlob(state.root.keys.at(id), blob)) blobs.push_back(std::move(blob));
  }
  return blobs;
}

void TolerateExpiredMetadata(bool tolerate) {
  std::lock_guard<std::mutex> guard(trustLock);
  State().tolerateExpiry = tolerate;
}

std::string ExpiredMetadataNote() {
  std::lock_guard<std::mutex> guard(trustLock);
  return State().expiryNote;
}

void ResetRepositoryTrustForTesting(const std::string& firstRoot) {
  std::lock_guard<std::mutex> guard(trustLock);
  State() = TrustState{};
  if (!firstRoot.empty()) State().firstRootForTesting = firstRoot;
}

}  // namespace Kyrowan::Windows
