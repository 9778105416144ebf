#pragma once

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "protocol/server_protocol.h"

namespace Kyrowan {

/// "runtime": which runtime runs the package, and which version of it.
struct RuntimeRef_s {
  int type = 0;  ///< RuntimeType: 0 none, 1 python, 2 native
  std::string version = kLatestVersion;
};

/// One element of "files": a path relative to the files folder and its Base64 signature.
struct FileEntry_s {
  std::string name;
  std::string signature;
};

/// One element of "dependencies": type 1 pip library, 2 library package from the server.
struct DependencyEntry_s {
  int type = 0;
  std::string name;
  std::string version;
  /// A pip library's allowed files, as lower-case hex SHA-256 digests; empty: any file pip finds.
  std::vector<std::string> sha256{};
};

/// A decryptor's manifest.
struct PkgInfo_s {
  RuntimeRef_s runtime;
  std::string name;
  std::string version;
  std::string signature;
  std::string module;
  std::string run;
  std::string help;
  std::vector<FileEntry_s> files;
  std::vector<DependencyEntry_s> dependencies;
};

/// A library's manifest; its runtime version always reads as "0.0.0".
struct LibPkgInfo_s {
  RuntimeRef_s runtime;
  std::string name;
  std::string version;
  std::string signature;
  std::vector<FileEntry_s> files;
  std::vector<DependencyEntry_s> dependencies;
};

/// A runtime's manifest.
struct RuntimePkgInfo_s {
  std::string name;
  std::string version;
  std::string signature;
  std::vector<FileEntry_s> files;
};

// JSON conversions (nlohmann): reading throws std::exception on a missing key or a wrong type.
void to_json(nlohmann::json& j, const RuntimeRef_s& v);
void from_json(const nlohmann::json& j, RuntimeRef_s& v);
void to_json(nlohmann::json& j, const FileEntry_s& v);
void from_json(const nlohmann::json& j, FileEntry_s& v);
void to_json(nlohmann::json& j, const DependencyEntry_s& v);
void from_json(const nlohmann::json& j, DependencyEntry_s& v);
void to_json(nlohmann::json& j, const PkgInfo_s& v);
void from_json(const nlohmann::json& j, PkgInfo_s& v);
void to_json(nlohmann::json& j, const LibPkgInfo_s& v);
void from_json(const nlohmann::json& j, LibPkgInfo_s& v);
void to_json(nlohmann::json& j, const RuntimePkgInfo_s& v);
void from_json(const nlohmann::json& j, RuntimePkgInfo_s& v);

/// Whether a record holds everything its package needs to be used.
bool IsComplete(const PkgInfo_s& info);
bool IsComplete(const LibPkgInfo_s& info);
bool IsComplete(const RuntimePkgInfo_s& info);

/// The text the manifest signature covers: the record with an empty signature,
/// compact, keys in ascending order.
std::string SignedText(const PkgInfo_s& info);
std::string SignedText(const LibPkgInfo_s& info);
std::string SignedText(const RuntimePkgInfo_s& info);

/// Parses manifest bytes (up to the first NUL) into a record; false on any error,
/// leaving `info` as it was.
bool ParseManifest(const char* bytes, std::size_t length, PkgInfo_s& info);
bool ParseManifest(const char* bytes, std::size_t length, LibPkgInfo_s& info);
bool ParseManifest(const char* bytes, std::size_t length, RuntimePkgInfo_s& info);

}  // namespace Kyrowan
