#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/server_protocol.h"

namespace Kyrowan::Windows {

class ProgressLine;

/// Every request the tool sends carries this user agent.
inline constexpr const wchar_t* kUserAgent = Protocol::kUserAgent;

/// Where a request goes: always HTTPS; `caBundlePath` empty means the platform's trust.
struct ServerEndpoint {
  std::wstring host;
  int port = 443;
  std::string caBundlePath;
};

/// The one package server this build talks to (from the build configuration).
ServerEndpoint PackageServer();

/// Receives a download piece by piece: the buffer, the count of valid bytes at
/// its start, and the HTTP status of the answer.
using ChunkSink = std::function<void(std::vector<char>& buffer, std::uint32_t count, std::uint32_t status)>;

/// GET whose body comes back as text (cut at the first NUL). `status` is preset
/// to 400 and `body` emptied. False when no answer could be read.
bool HttpGetToString(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, int& status, std::string& body);

/// No limit on a download's size beyond the transport's own.
inline constexpr std::uint64_t kAnySize = UINT64_MAX;

/// GET whose body is handed to `sink` in pieces of at most 65536 bytes; `progress`,
/// when given, hears of every body byte of a 200 answer as it arrives. An answer
/// announcing more than `maxBytes` is refused before any of its body is read.
bool HttpGetStreamed(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, const ChunkSink& sink,
                     ProgressLine* progress = nullptr, std::uint64_t maxBytes = kAnySize);

/// PUT of a body of at most Protocol::kMaxTelemetryBodyBytes bytes: 1 sent and answered,
/// 0 failure, 2 body too large (refused before any connection).
int HttpPutBody(const char* body, std::uint32_t bodyLength, const ServerEndpoint& server, const std::wstring& path,
                const std::wstring& userAgent, const std::vector<std::wstring>& headers, int& status,
                std::string& response);

/// Answers every later package-server request (ServerGet, ServerDownloadToFile) from the
/// files of `folder` at their tree paths (Protocol::TreeFilePath), a missing file being a
/// 404, and sends nothing over the network. An empty folder sends them to the server again.
void AnswerFromFolder(const std::wstring& folder);

/// Hears of each download ServerDownloadToFile completed: the request path and the file
/// now holding the answer, whose content nothing has checked yet.
using DownloadObserver = std::function<void(const std::wstring& urlPath, const std::wstring& file)>;
/// Replaces the observer; an empty one hears nothing.
void SetDownloadObserver(DownloadObserver observer);

/// A file of the signed repository metadata as the server (or the answer folder) has it,
/// unchecked: its readers check it. True for a 200 answer of at most `maxBytes`.
bool ServerGetMetadata(const std::wstring& path, std::uint64_t maxBytes, int& status, std::string& body);

/// GET from the package server; true only for an answer with status 200.
bool ServerGet(const std::wstring& path, const std::vector<std::wstring>& headers, int& status, std::string& body);

/// Streams the package server's answer to `urlPath` into `targetPath`;
/// true only for a complete answer with status 200 of at most `maxBytes`.
bool ServerDownloadToFile(const std::wstring& urlPath, const std::wstring& targetPath,
                          std::uint64_t maxBytes = kAnySize);

}  // namespace Kyrowan::Windows
