#include "routes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <httplib.h>

#include "client_address.h"
#include "protocol/server_protocol.h"
#include "report_limiter.h"
#include "repository.h"
#include "telemetry_store.h"

namespace KyrServer {

namespace {

namespace Protocol = Kyrowan::Protocol;

constexpr std::size_t kReadPiece = 65536;
// Telemetry bodies announced beyond this are refused unread (413); smaller oversize
// bodies get a 400 that says why.
constexpr std::size_t kMaxRequestBody = 65536;

void Fail(httplib::Response& response, int status, const std::string& reason) {
  response.status = status;
  response.set_content(reason + "\n", "text/plain");
}

// Streams a file of the tree with its length announced up front.
void ServeFile(const Repository& repository, const std::filesystem::path& file, httplib::Response& response,
               const char* type = "application/octet-stream", const char* missing = "no such package") {
  const std::filesystem::path real = repository.Servable(file);
  std::error_code error;
  const auto size = real.empty() ? 0 : std::filesystem::file_size(real, error);
  auto stream = std::make_shared<std::ifstream>(real, std::ios::binary);
  if (real.empty() || error || !*stream) return Fail(response, 404, missing);
  response.set_content_provider(
      static_cast<std::size_t>(size), type,
      [stream](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        std::vector<char> piece(std::min(length, kReadPiece));
        stream->seekg(static_cast<std::streamoff>(offset));
        stream->read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = stream->gcount();
        return got > 0 && sink.write(piece.data(), static_cast<std::size_t>(got));
      });
}

// The body as the reader delivers it, whatever its framing, but never more than one byte
// past the largest report: reading stops there.
std::string ReadBounded(const httplib::ContentReader& reader) {
  std::string body;
  reader([&body](const char* data, std::size_t length) {
    body.append(data, std::min(length, kMaxTelemetryBody + 1 - body.size()));
    return body.size() <= kMaxTelemetryBody;
  });
  return body;
}

// Names and versions name folders: reject anything that could leave them.
bool SafeParts(const httplib::Request& request, httplib::Response& response) {
  for (std::size_t i = 1; i < request.matches.size(); ++i) {
    if (!IsSafePathPart(request.matches[i].str())) {
      Fail(response, 400, "bad name or version");
      return false;
    }
  }
  return true;
}

void RegisterDownload(httplib::Server& server, const Repository& repository, std::string_view prefix,
                      PackageKind kind) {
  server.Get(std::string(prefix) + R"(([^/]+)/([^/]+))",
             [&repository, kind](const httplib::Request& request, httplib::Response& response) {
               if (SafeParts(request, response))
                 ServeFile(repository, repository.PackageFile(kind, request.matches[1], request.matches[2]), response);
             });
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

// Every X-Forwarded-For line of the request, in order, as one list.
std::string ForwardedFor(const httplib::Request& request) {
  std::string list;
  for (std::size_t i = 0; i < request.get_header_value_count("X-Forwarded-For"); ++i)
    list += (i == 0 ? "" : ",") + request.get_header_value("X-Forwarded-For", i);
  return list;
}

// The client as the limiter, the store and the log name it: behind a trusted proxy,
// the address the proxy forwarded.
std::string Client(const httplib::Request& request, const std::vector<std::string>& trustedProxies) {
  return ClientAddress(request.remote_addr, ForwardedFor(request), request.get_header_value("X-Real-IP"),
                       trustedProxies);
}

void LogRequest(const httplib::Request& request, const httplib::Response& response,
                const std::vector<std::string>& trustedProxies) {
  static std::mutex logMutex;
  const std::size_t bytes = response.body.empty() ? response.content_length_ : response.body.size();
  const std::string client = Client(request, trustedProxies);
  std::lock_guard guard(logMutex);
  std::printf("%s %s %s %d %zu\n", Printable(client).c_str(), Printable(request.method).c_str(),
              Printable(request.path).c_str(), response.status, bytes);
  std::fflush(stdout);
}

}  // namespace

void RegisterRoutes(httplib::Server& server, const Repository& repository, TelemetryStore& store,
                    ReportLimiter& limiter, const std::vector<std::string>& trustedProxies) {
  server.set_payload_max_length(kMaxRequestBody);
  server.Get(std::string(Protocol::kListPath), [&repository](const httplib::Request&, httplib::Response& response) {
    ServeFile(repository, repository.ListFile(), response, "application/json", "nothing published");
  });
  server.Get(std::string(Protocol::kIdentifyPath), [&repository](const httplib::Request&,
                                                                 httplib::Response& response) {
    ServeFile(repository, repository.IdentifyFile(), response, "application/octet-stream", "no identification index");
  });
  server.Get(std::string(Protocol::kLatestVersionQueryPrefix) + "([^/]+)",
             [&repository](const httplib::Request& request, httplib::Response& response) {
               if (SafeParts(request, response))
                 ServeFile(repository, repository.LatestVersionFile(request.matches[1]), response, "text/plain",
                           "no such decryptor");
             });
  server.Get(std::string(Protocol::kDecryptorDownloadPrefix) + "([^/]+)",
             [&repository](const httplib::Request& request, httplib::Response& response) {
               if (SafeParts(request, response))
                 ServeFile(repository, repository.PackageFile(PackageKind::Decryptor, request.matches[1], ""), response);
             });
  RegisterDownload(server, repository, Protocol::kDecryptorDownloadPrefix, PackageKind::Decryptor);
  RegisterDownload(server, repository, Protocol::kLibraryDownloadPrefix, PackageKind::Library);
  RegisterDownload(server, repository, Protocol::kRuntimeDownloadPrefix, PackageKind::Runtime);
  const std::string upload(Protocol::kTelemetryUploadPath);
  server.Put(upload, [&store, &limiter, &trustedProxies](const httplib::Request& request, httplib::Response& response,
                                                         const httplib::ContentReader& reader) {
    // Far too large by its own account: refused unread.
    if (request.get_header_value<std::uint64_t>("Content-Length") > kMaxRequestBody) {
      response.status = 413;
      response.set_header("Connection", "close");
      return;
    }
    const std::string body = ReadBounded(reader);
    const std::string client = Client(request, trustedProxies);
    if (!limiter.Allow(client, ReportLimiter::Clock::now()))
      return Fail(response, 429, "too many reports from this address; try again in a minute");
    if (const std::string problem = CheckTelemetryBody(body); !problem.empty()) {
      // What the client sent beyond the bound is left unread: it must not send more here.
      if (body.size() > kMaxTelemetryBody) response.set_header("Connection", "close");
      return Fail(response, 400, problem);
    }
    if (const std::string error = store.Store(body, client); !error.empty()) {
      std::fprintf(stderr, "kyrdecrypt-server: could not store a report: %s\n", error.c_str());
      return Fail(response, 500, "could not store the report");
    }
    response.set_content("stored\n", "text/plain");
  });
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    // An encoded body would be inflated before any bound applies. It is left unread.
    if (request.has_header("Content-Encoding")) {
      response.set_header("Connection", "close");
      Fail(response, 415, "encoded bodies are not accepted");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Files are always served whole: the library's own range answers are wrong at the edges.
    // The request is the library's own non-const object, handed to this handler as const.
    const_cast<httplib::Request&>(request).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Every answer carries a Content-Length, error pages included.
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) Fail(response, response.status, "error " + std::to_string(response.status));
  });
  server.set_logger([&trustedProxies](const httplib::Request& request, const httplib::Response& response) {
    LogRequest(request, response, trustedProxies);
  });
}

}  // namespace KyrServer
