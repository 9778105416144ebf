#pragma once
// The package server's interface as the client, kyrpack's tree writer and the server all
// speak it: request paths, the latest-version word, the user agent and the size limits.
// Header-only and free of other includes of this project, so every layer may use it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Kyrowan {

/// The reserved version text that stands for "the latest".
inline constexpr const char* kLatestVersion = "0.0.0";
inline constexpr const wchar_t* kLatestVersionWide = L"0.0.0";

namespace Protocol {

/// Every request the tool sends carries this user agent.
inline constexpr const wchar_t* kUserAgent = L"KyrDecrypt/ORIN";

/// The paths without a name. The list and the index are asked for at the latest word.
inline constexpr std::string_view kListPath = "/package/list/0.0.0";
inline constexpr std::string_view kIdentifyPath = "/package/identify/0.0.0";
inline constexpr std::string_view kTelemetryUploadPath = "/telemetry/upload";

/// The prefixes a name follows: the latest-version query takes the name alone, a download
/// the name, "/" and the version.
inline constexpr std::string_view kLatestVersionQueryPrefix = "/package/query/latestver/64/";
inline constexpr std::string_view kDecryptorDownloadPrefix = "/package/download/64/";
inline constexpr std::string_view kLibraryDownloadPrefix = "/library/download/64/";
inline constexpr std::string_view kRuntimeDownloadPrefix = "/runtime/download/64/";

/// Signed repository metadata: the chain of roots, "/trust/root/<N>.json" for N = 1, 2, 3 ...,
/// and the snapshot of every other tree file's length and SHA-256.
inline constexpr std::string_view kTrustRootPrefix = "/trust/root/";
inline constexpr std::string_view kTrustRootSuffix = ".json";
inline constexpr std::string_view kTrustSnapshotPath = "/trust/snapshot.json";
/// The largest root and snapshot files taken, and the most roots followed in one run.
inline constexpr std::uint64_t kMaxTrustRootBytes = 1u << 20;
inline constexpr std::uint64_t kMaxTrustSnapshotBytes = 16u << 20;
inline constexpr int kMaxTrustRootSteps = 1000;

/// The largest telemetry report body the client sends and the server stores.
inline constexpr std::size_t kMaxTelemetryBodyBytes = 16383;
/// The largest text answer (the package list, a latest-version text) the client takes.
inline constexpr std::uint64_t kMaxTextAnswerBytes = 16u << 20;
/// The largest identification index file the client takes; its JSON is held in memory whole.
inline constexpr std::int64_t kMaxIndexFileBytes = 16 << 20;
/// The largest payload of a package file: the client checks and copies it counting in 32 bits.
inline constexpr std::uint64_t kMaxPayloadBytes = UINT32_MAX;

namespace Detail {

// Paths are ASCII: widening is one code unit per byte.
template <class Char>
std::basic_string<Char> Join(std::string_view prefix, std::basic_string_view<Char> name) {
  std::basic_string<Char> path(prefix.begin(), prefix.end());
  path.append(name);
  return path;
}

template <class Char>
std::basic_string<Char> Join(std::string_view prefix, std::basic_string_view<Char> name,
                             std::basic_string_view<Char> version) {
  std::basic_string<Char> path = Join(prefix, name);
  path += Char('/');
  path.append(version);
  return path;
}

// A decryptor asked for at the latest word is asked for by its name alone.
template <class Char>
std::basic_string<Char> DecryptorPath(std::basic_string_view<Char> name, std::basic_string_view<Char> version) {
  const std::string_view latest = kLatestVersion;
  const bool isLatest = std::equal(version.begin(), version.end(), latest.begin(), latest.end());
  return isLatest ? Join(kDecryptorDownloadPrefix, name) : Join(kDecryptorDownloadPrefix, name, version);
}

}  // namespace Detail

/// A fixed path above as the client sends it.
inline std::wstring WidePath(std::string_view path) { return std::wstring(path.begin(), path.end()); }

/// The latest version text of decryptor `name`.
inline std::string LatestVersionQueryPath(std::string_view name) {
  return Detail::Join(kLatestVersionQueryPrefix, name);
}
inline std::wstring LatestVersionQueryPath(std::wstring_view name) {
  return Detail::Join(kLatestVersionQueryPrefix, name);
}

/// A decryptor's package file; at the latest word the path has no version part.
inline std::string DecryptorDownloadPath(std::string_view name, std::string_view version) {
  return Detail::DecryptorPath(name, version);
}
inline std::wstring DecryptorDownloadPath(std::wstring_view name, std::wstring_view version) {
  return Detail::DecryptorPath(name, version);
}

/// A library's package file (either kind), the latest word included: only decryptors are
/// resolved against the server.
inline std::string LibraryDownloadPath(std::string_view name, std::string_view version) {
  return Detail::Join(kLibraryDownloadPrefix, name, version);
}
inline std::wstring LibraryDownloadPath(std::wstring_view name, std::wstring_view version) {
  return Detail::Join(kLibraryDownloadPrefix, name, version);
}

/// A runtime's package file, the latest word included.
inline std::string RuntimeDownloadPath(std::string_view name, std::string_view version) {
  return Detail::Join(kRuntimeDownloadPrefix, name, version);
}
inline std::wstring RuntimeDownloadPath(std::wstring_view name, std::wstring_view version) {
  return Detail::Join(kRuntimeDownloadPrefix, name, version);
}

/// Root file `version` of the trust chain.
inline std::string TrustRootPath(std::uint64_t version) {
  return std::string(kTrustRootPrefix) + std::to_string(version) + std::string(kTrustRootSuffix);
}
inline std::wstring WideTrustRootPath(std::uint64_t version) {
  const std::string path = TrustRootPath(version);
  return std::wstring(path.begin(), path.end());
}

/// Whether a name or version taken from a request path may name a file of a tree:
/// not empty, no "..", no path separator, no NUL.
inline bool IsSafePathPart(std::string_view text) {
  return !text.empty() && text.find("..") == std::string_view::npos &&
         text.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

/// The file of a published tree that answers `requestPath`, relative to the tree's root:
/// the path without its leading "/", a decryptor asked for by its name alone being its
/// "0.0.0" copy. Empty for a path no file of a tree answers.
inline std::string TreeFilePath(std::string_view requestPath) {
  if (requestPath.size() < 2 || requestPath.front() != '/') return {};
  std::string_view rest = requestPath.substr(1);
  for (std::size_t start = 0; start <= rest.size();) {
    const std::size_t end = std::min(rest.find('/', start), rest.size());
    if (!IsSafePathPart(rest.substr(start, end - start))) return {};
    start = end + 1;
  }
  std::string path(rest);
  const std::string_view decryptors = kDecryptorDownloadPrefix;
  const bool nameAlone = requestPath.substr(0, decryptors.size()) == decryptors &&
                         requestPath.find('/', decryptors.size()) == std::string_view::npos;
  if (nameAlone) path += std::string("/") + kLatestVersion;
  return path;
}

}  // namespace Protocol

}  // namespace Kyrowan
