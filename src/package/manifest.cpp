#include "package/manifest.h"

#include <climits>
#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace Kyrowan {

namespace {

using nlohmann::json;

// The library would also turn a boolean into a number; a manifest "type" must really be one.
int ReadInteger(const json& j, const char* key) {
  const json& value = j.at(key);
  if (!value.is_number()) throw std::runtime_error(std::string("type must be number, but is ") + value.type_name());
  // Converting a number an int cannot hold would wrap it (or, for a float, be undefined).
  const double number = value.get<double>();
  if (!(number > static_cast<double>(INT_MIN) - 1.0 && number < static_cast<double>(INT_MAX) + 1.0))
    throw std::out_of_range("number out of the range of a 32-bit integer");
  return value.get<int>();
}

// at() throws for a missing key and for a value that is not an object.
std::string ReadString(const json& j, const char* key) { return j.at(key).get<std::string>(); }

template <typename Info>
std::string DumpSigned(Info info) {
  info.signature.clear();
  // Parsed manifests hold valid UTF-8 only; replacing keeps this from throwing for other records.
  return json(info).dump(-1, ' ', false, json::error_handler_t::replace);
}

template <typename Info>
bool ParseInto(const char* bytes, std::size_t length, Info& info) {
  if (bytes == nullptr) return false;
  try {
    // The text ends at the first NUL byte.
    const std::size_t textLength = ::strnlen(bytes, length);
    Info parsed = json::parse(bytes, bytes + textLength).template get<Info>();
    info = std::move(parsed);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void to_json(json& j, const RuntimeRef_s& v) { j = json{{"type", v.type}, {"version", v.version}}; }

void from_json(const json& j, RuntimeRef_s& v) {
  v.type = ReadInteger(j, "type");
  v.version = ReadString(j, "version");
}

void to_json(json& j, const FileEntry_s& v) { j = json{{"name", v.name}, {"signature", v.signature}}; }

void from_json(const json& j, FileEntry_s& v) {
  v.name = ReadString(j, "name");
  v.signature = ReadString(j, "signature");
}

void to_json(json& j, const DependencyEntry_s& v) {
  j = json{{"type", v.type}, {"name", v.name}, {"version", v.version}};
  // Absent when empty, so the signed text of a manifest without digests is what it always was.
  if (!v.sha256.empty()) j["sha256"] = v.sha256;
}

void from_json(const json& j, DependencyEntry_s& v) {
  v.type = ReadInteger(j, "type");
  v.name = ReadString(j, "name");
  v.version = ReadString(j, "version");
  v.sha256 = j.contains("sha256") ? j.at("sha256").get<std::vector<std::string>>() : std::vector<std::string>();
}

void to_json(json& j, const PkgInfo_s& v) {
  j = json{{"runtime", v.runtime}, {"name", v.name},   {"version", v.version}, {"signature", v.signature},
           {"module", v.module},   {"run", v.run},     {"help", v.help},       {"files", v.files},
           {"dependencies", v.dependencies}};
}

void from_json(const json& j, PkgInfo_s& v) {
  v.runtime = j.at("runtime").get<RuntimeRef_s>();
  v.name = ReadString(j, "name");
  v.version = ReadString(j, "version");
  v.signature = ReadString(j, "signature");
  v.module = ReadString(j, "module");
  v.run = ReadString(j, "run");
  v.help = ReadString(j, "help");
  v.files = j.at("files").get<std::vector<FileEntry_s>>();
  v.dependencies = j.at("dependencies").get<std::vector<DependencyEntry_s>>();
}

void to_json(json& j, const LibPkgInfo_s& v) {
  j = json{{"runtime", v.runtime},     {"name", v.name},   {"version", v.version},
           {"signature", v.signature}, {"files", v.files}, {"dependencies", v.dependencies}};
}

void from_json(const json& j, LibPkgInfo_s& v) {
  v.runtime = j.at("runtime").get<RuntimeRef_s>();
  // A library runs on whatever version of its runtime the decryptor brings.
  v.runtime.version = kLatestVersion;
  v.name = ReadString(j, "name");
  v.version = ReadString(j, "version");
  v.signature = ReadString(j, "signature");
  v.files = j.at("files").get<std::vector<FileEntry_s>>();
  v.dependencies = j.at("dependencies").get<std::vector<DependencyEntry_s>>();
}

void to_json(json& j, const RuntimePkgInfo_s& v) {
  j = json{{"name", v.name}, {"version", v.version}, {"signature", v.signature}, {"files", v.files}};
}

void from_json(const json& j, RuntimePkgInfo_s& v) {
  v.name = ReadString(j, "name");
  v.version = ReadString(j, "version");
  v.signature = ReadString(j, "signature");
  v.files = j.at("files").get<std::vector<FileEntry_s>>();
}

bool IsComplete(const PkgInfo_s& info) {
  return (info.runtime.type == 1 || info.runtime.type == 2) && !info.name.empty() && !info.version.empty() &&
         !info.signature.empty() && !info.module.empty() && !info.run.empty() && !info.help.empty() &&
         !info.files.empty();
}

bool IsComplete(const LibPkgInfo_s& info) {
  return (info.runtime.type == 1 || info.runtime.type == 2) && !info.name.empty() && !info.version.empty() &&
         !info.signature.empty() && !info.files.empty();
}

bool IsComplete(const RuntimePkgInfo_s& info) {
  return !info.name.empty() && !info.version.empty() && !info.signature.empty() && !info.files.empty();
}

std::string SignedText(const PkgInfo_s& info) { return DumpSigned(info); }
std::string SignedText(const LibPkgInfo_s& info) { return DumpSigned(info); }
std::string SignedText(const RuntimePkgInfo_s& info) { return DumpSigned(info); }

bool ParseManifest(const char* bytes, std::size_t length, PkgInfo_s& info) { return ParseInto(bytes, length, info); }
bool ParseManifest(const char* bytes, std::size_t length, LibPkgInfo_s& info) {
  return ParseInto(bytes, length, info);
}
bool ParseManifest(const char* bytes, std::size_t length, RuntimePkgInfo_s& info) {
  return ParseInto(bytes, length, info);
}

}  // namespace Kyrowan
