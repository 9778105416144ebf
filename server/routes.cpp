#include "routes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "client_address.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"
#include "report_limiter.h"
#include "repository.h"
#include "telemetry_store.h"

namespace KyrServer {

namespace {

namespace Protocol = Kyrowan::Protocol;

// Bodies announced beyond this are refused unread (413); a telemetry body smaller than
// this but past its own bound gets a 400 that says why.
constexpr std::uint64_t kMaxRequestBody = 65536;

Answer Fail(int status, const std::string& reason, bool close = false) {
  Answer answer;
  answer.status = status;
  answer.text = reason + "\n";
  answer.close = close;
  return answer;
}

Answer ErrorPage(int status, bool close = false) { return Fail(status, "error " + std::to_string(status), close); }

bool KnownMethod(const std::string& method) {
  static const std::array<const char*, 10> known{"GET",    "HEAD",    "POST",  "PUT",   "DELETE",
                                                 "CONNECT", "OPTIONS", "TRACE", "PATCH", "PRI"};
  return std::any_of(known.begin(), known.end(), [&method](const char* name) { return method == name; });
}

bool IsUpload(const Request& request) {
  return request.method == "PUT" && request.path == Protocol::kTelemetryUploadPath;
}

// A file of the tree, whole.
Answer ServeFile(const Repository& repository, const std::filesystem::path& file,
                 const char* type = "application/octet-stream", const char* missing = "no such package") {
  const std::filesystem::path real = repository.Servable(file);
  std::error_code error;
  const auto size = real.empty() ? 0 : std::filesystem::file_size(real, error);
  auto stream = std::make_shared<std::ifstream>(real, std::ios::binary);
  if (real.empty() || error || !*stream) return Fail(404, missing);
  Answer answer;
  answer.contentType = type;
  answer.file = std::move(stream);
  answer.fileSize = size;
  return answer;
}

// The `count` path parts that follow `prefix`, when the request's path is exactly that:
// the prefix, then non-empty parts separated by "/". Names and versions name folders: a
// part that could leave them makes the answer a 400.
std::optional<std::vector<std::string>> Match(const Request& request, std::string_view prefix, std::size_t count,
                                              std::optional<Answer>& refusal) {
  const std::string_view path = request.path;
  if (path.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::vector<std::string> parts;
  for (std::string_view rest = path.substr(prefix.size()); parts.size() <= count;) {
    const std::size_t end = std::min(rest.find('/'), rest.size());
    if (end == 0) return std::nullopt;
    parts.emplace_back(rest.substr(0, end));
    if (end == rest.size()) break;
    rest.remove_prefix(end + 1);
  }
  if (parts.size() != count) return std::nullopt;
  for (const std::string& part : parts)
    if (!IsSafePathPart(part)) refusal = Fail(400, "bad name or version");
  return parts;
}

// What a GET (or HEAD) of `request`'s path is answered with.
Answer Get(const Repository& repository, const Request& request) {
  if (request.path == Protocol::kListPath)
    return ServeFile(repository, repository.ListFile(), "application/json", "nothing published");
  if (request.path == Protocol::kIdentifyPath)
    return ServeFile(repository, repository.IdentifyFile(), "application/octet-stream", "no identification index");
  if (const auto trust = repository.TrustFile(request.path); !trust.empty())
    return ServeFile(repository, trust, "application/json", "no such metadata");
  std::optional<Answer> refusal;
  if (const auto name = Match(request, Protocol::kLatestVersionQueryPrefix, 1, refusal))
    return refusal ? *refusal
                   : ServeFile(repository, repository.LatestVersionFile((*name)[0]), "text/plain", "no such decryptor");
  if (const auto name = Match(request, Protocol::kDecryptorDownloadPrefix, 1, refusal))
    return refusal ? *refusal : ServeFile(repository, repository.PackageFile(PackageKind::Decryptor, (*name)[0], ""));
  const std::pair<std::string_view, PackageKind> downloads[] = {
      {Protocol::kDecryptorDownloadPrefix, PackageKind::Decryptor},
      {Protocol::kLibraryDownloadPrefix, PackageKind::Library},
      {Protocol::kRuntimeDownloadPrefix, PackageKind::Runtime}};
  for (const auto& [prefix, kind] : downloads) {
    if (const auto parts = Match(request, prefix, 2, refusal))
      return refusal ? *refusal : ServeFile(repository, repository.PackageFile(kind, (*parts)[0], (*parts)[1]));
  }
  return ErrorPage(404);
}

// Keeps a log line on one line whatever the request holds; a backslash is escaped too, so
// no request can write what looks like an escape.
std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<std::string> Request::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (Kyrowan::Windows::EqualsIgnoreCase(key, name)) values.push_back(value);
  }
  return values;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = i + 2 < text.size() && text[i] == '%' ? HexDigit(text[i + 1]) : -1;
    const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
    if (low < 0) {
      out += text[i];
    } else {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return out;
}

std::optional<Answer> Routes::Refuse(const Request& head) const {
  if (!KnownMethod(head.method)) return ErrorPage(400);
  // An encoded body would be inflated before any bound applies. It is left unread.
  if (!head.Values("Content-Encoding").empty()) return Fail(415, "encoded bodies are not accepted", true);
  // Far too large by its own account: refused unread.
  for (const std::string& length : head.Values("Content-Length")) {
    if (std::strtoull(length.c_str(), nullptr, 10) > kMaxRequestBody) return ErrorPage(413, true);
  }
  return std::nullopt;
}

std::size_t Routes::BodyLimit(const Request& head) const {
  // One byte past the largest report, so that an oversize one is told apart.
  return IsUpload(head) ? kMaxTelemetryBody + 1 : 0;
}

Answer Routes::Respond(const Request& request) {
  if (IsUpload(request)) return Upload(request);
  if (request.bodyBytes > kMaxRequestBody) return ErrorPage(413, true);
  if (request.method == "GET" || request.method == "HEAD") return Get(repository_, request);
  return ErrorPage(404);
}

Answer Routes::Upload(const Request& request) {
  const std::string client = Client(request);
  if (!limiter_.Allow(client, ReportLimiter::Clock::now()))
    return Fail(429, "too many reports from this address; try again in a minute");
  if (const std::string problem = CheckTelemetryBody(request.body); !problem.empty())
    return Fail(400, problem, request.bodyBytes > kMaxTelemetryBody);
  if (const std::string error = store_.Store(request.body, client); !error.empty()) {
    std::fprintf(stderr, "kyrdecrypt-server: could not store a report: %s\n", error.c_str());
    return Fail(500, "could not store the report");
  }
  return Fail(200, "stored");
}

// The client as the limiter, the store and the log name it: behind a trusted proxy,
// the address the proxy forwarded (every X-Forwarded-For line, in order, as one list).
std::string Routes::Client(const Request& request) const {
  const auto hops = request.Values("X-Forwarded-For");
  std::string forwarded;
  for (std::size_t i = 0; i < hops.size(); ++i) forwarded += (i == 0 ? "" : ",") + hops[i];
  const auto realIp = request.Values("X-Real-IP");
  return ClientAddress(request.peer, forwarded, realIp.empty() ? "" : realIp.front(), trustedProxies_);
}

namespace {

void WriteLogLine(const std::string& client, const std::string& method, const std::string& path,
                  const std::string& status, const std::string& bytes) {
  static std::mutex logMutex;
  std::lock_guard guard(logMutex);
  std::printf("%s %s %s %s %s\n", Printable(client).c_str(), Printable(method).c_str(), Printable(path).c_str(),
              status.c_str(), bytes.c_str());
  std::fflush(stdout);
}

}  // namespace

void Routes::Log(const Request& request, const Answer& answer) const {
  // A request with a method HTTP does not have was refused before its path was read.
  const std::string path = KnownMethod(request.method) ? request.path : "";
  WriteLogLine(Client(request), request.method, path, std::to_string(answer.status),
               std::to_string(answer.BodyBytes()));
}

// The headers were not read, so no forwarded address is trusted: the peer is the client.
void Routes::LogRefusedHead(const std::string& peer, const std::string& target) const {
  WriteLogLine(peer, "-", target, "-", "-");
}

}  // namespace KyrServer
