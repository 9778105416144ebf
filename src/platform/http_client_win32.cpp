#include "platform/http_client.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include <windows.h>
#include <wininet.h>

#include "platform/failure_causes.h"
#include "platform/handles_win32.h"
#include "platform/http_client_testing.h"
#include "platform/progress_line.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

namespace {

constexpr DWORD kChunkSize = 65536;
// The readers count in 32 bits; a larger answer would be silently cut.
constexpr unsigned long long kMaxContentLength = 0xFFFFFFFFull;
// Always TLS, never from the local cache. WinINet follows redirects itself and refuses
// one from HTTPS to HTTP unless INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP is set: it never is.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_PRAGMA_NOCACHE;

using InetHandle = ScopedHandle<HINTERNET>;

using Clock = std::chrono::steady_clock;

HttpLimits& Limits() {
  static HttpLimits limits;
  return limits;
}

InetHandle Hold(HINTERNET handle) { return InetHandle(handle, HandleValidator(), InetHandleCloser()); }

// A read that waits longer than the stall time fails; the readers check the speed floor
// and a text answer's total time themselves, which WinINet has no option for.
void ApplyTimeouts(HINTERNET root) {
  const HttpLimits& limits = Limits();
  DWORD connect = static_cast<DWORD>(limits.connectSeconds * 1000);
  DWORD stall = static_cast<DWORD>((std::min)(limits.lowSpeedSeconds, limits.textTotalSeconds) * 1000);
  ::InternetSetOptionW(root, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  ::InternetSetOptionW(root, INTERNET_OPTION_SEND_TIMEOUT, &stall, sizeof stall);
  ::InternetSetOptionW(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
}

bool UsableArguments(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent) {
  return !server.host.empty() && !path.empty() && !userAgent.empty() && server.port > 0 && server.port <= 65535;
}

HINTERNET OpenRoot(const std::wstring& userAgent) {
  HINTERNET root = ::InternetOpenW(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (HandleValidator()(root)) ApplyTimeouts(root);
  return root;
}

/// The three handles of one request (root, connection, request), each opened only when
/// the one before it was; released request first, then connection, then root.
struct HttpRequest {
  HttpRequest(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
              const wchar_t* verb, const std::vector<std::wstring>& headers)
      : root(Hold(UsableArguments(server, path, userAgent) ? OpenRoot(userAgent) : nullptr)),
        connection(Hold(root.IsValid() ? ::InternetConnectW(root.Get(), server.host.c_str(),
                                                            static_cast<INTERNET_PORT>(server.port), nullptr, nullptr,
                                                            INTERNET_SERVICE_HTTP, 0, 0)
                                       : nullptr)),
        request(Hold(connection.IsValid() ? OpenRequest(connection.Get(), verb, path) : nullptr)),
        hostPort(server.host + L":" + std::to_wstring(server.port)),
        url(L"https://" + hostPort + path) {
    if (!request.IsValid()) return;
    for (const auto& line : headers)
      ::HttpAddRequestHeadersW(request.Get(), line.c_str(), static_cast<DWORD>(line.size()), 0);
  }

  static HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const std::wstring& path) {
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    return ::HttpOpenRequestW(connection, verb, path.c_str(), L"HTTP/1.1", nullptr, acceptTypes, kRequestFlags, 0);
  }

  /// Sends the request with an optional body; false when there is no answer.
  bool Send(const void* body, DWORD length) const {
    if (fake) return request.IsValid() && fake->Status() > 0;
    if (request.IsValid() && ::HttpSendRequestW(request.Get(), nullptr, 0, const_cast<void*>(body), length))
      return true;
    RecordFailure(::GetLastError());
    return false;
  }

  /// Notes why the request got no (further) answer, from WinINet's error code.
  void RecordFailure(DWORD error) const {
    switch (error) {
      case ERROR_INTERNET_CANNOT_CONNECT:
        RecordCause(L"cannot connect to " + hostPort + L": " + OsErrorText(error));
        return;
      case ERROR_INTERNET_NAME_NOT_RESOLVED:
        RecordCause(L"cannot find the server " + hostPort + L": " + OsErrorText(error));
        return;
      case ERROR_INTERNET_TIMEOUT:
        RecordStall();
        return;
      default:
        RecordCause(L"the request for " + url + L" failed: " + OsErrorText(error));
    }
  }

  void RecordStall() const { RecordCause(L"the server " + hostPort + L" stopped answering (timed out) for " + url); }

  InetHandle root;
  InetHandle connection;
  InetHandle request;
  std::wstring hostPort;
  std::wstring url;
  /// What a test's transport answers instead of the network.
  std::unique_ptr<HttpAnswerForTesting> fake = MakeAnswerForTesting();
};

// A header as a number: only plain decimal digits count (atoi would read "12abc" as 12).
bool QueryNumber(HINTERNET request, DWORD query, unsigned long long& value) {
  char text[32] = {};
  DWORD length = sizeof text - 1;
  if (!::HttpQueryInfoA(request, query, text, &length, nullptr) || length == 0) return false;
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return text[0] >= '0' && text[0] <= '9' && end != nullptr && *end == '\0';
}

// Status and Content-Length of an answered request; an answer without a usable
// Content-Length cannot be read, since reading is driven by it.
bool QueryAnswer(const HttpRequest& handles, int& status, unsigned long long& contentLength) {
  unsigned long long code = 0;
  bool hasLength = false;
  if (handles.fake) {
    // Send has refused a status of 0 or less.
    code = static_cast<unsigned long long>(handles.fake->Status());
    hasLength = handles.fake->ContentLength() >= 0;
    contentLength = hasLength ? static_cast<unsigned long long>(handles.fake->ContentLength()) : 0;
  } else {
    if (!QueryNumber(handles.request.Get(), HTTP_QUERY_STATUS_CODE, code)) return false;
    hasLength = QueryNumber(handles.request.Get(), HTTP_QUERY_CONTENT_LENGTH, contentLength);
  }
  if (code > 999) return false;
  status = static_cast<int>(code);
  // Any other answer says all there is to say; a 200 answer fails on its length.
  if (status != 200)
    RecordCause(L"the server answered " + std::to_wstring(status) + L" for " + handles.url, status);
  else if (!hasLength)
    RecordCause(L"the server sent no length for " + handles.url);
  return hasLength && contentLength <= kMaxContentLength;
}

// One read of the body: at most `size` bytes into `buffer`, none at its end.
bool ReadBody(const HttpRequest& handles, char* buffer, DWORD size, DWORD& got) {
  if (!handles.fake) {
    if (::InternetReadFile(handles.request.Get(), buffer, size, &got)) return true;
    handles.RecordFailure(::GetLastError());
    return false;
  }
  const std::vector<char> piece = handles.fake->NextPiece(size);
  std::copy(piece.begin(), piece.end(), buffer);
  got = static_cast<DWORD>(piece.size());
  return true;
}

// Notes an answer larger than it may be; false, as the request then is.
bool RecordTooLarge(const HttpRequest& handles, unsigned long long length, std::uint64_t limit) {
  RecordCause(L"the answer for " + handles.url + L" is " + std::to_wstring(length) + L" bytes, more than the " +
              std::to_wstring(limit) + L" allowed");
  return false;
}

// True while a text request is within its total time.
bool WithinTextTime(Clock::time_point started) {
  return Clock::now() - started <= std::chrono::seconds(Limits().textTotalSeconds);
}

bool ReadResponseToString(const HttpRequest& handles, Clock::time_point started, int& status, std::string& body) {
  body.clear();
  status = 400;
  if (!handles.request.IsValid()) return false;
  unsigned long long length = 0;
  // The announced length is judged before a byte is read or held.
  if (!QueryAnswer(handles, status, length)) return false;
  if (length > Limits().maxTextBytes) return RecordTooLarge(handles, length, Limits().maxTextBytes);
  std::string received(static_cast<std::size_t>(length), '\0');
  std::size_t filled = 0;
  // One read may deliver less than asked: read until the announced length or the end.
  while (filled < received.size()) {
    DWORD got = 0;
    if (!ReadBody(handles, received.data() + filled, static_cast<DWORD>(received.size() - filled), got)) return false;
    if (got == 0) break;
    filled += got;
    if (!WithinTextTime(started)) {
      handles.RecordStall();
      return false;
    }
  }
  // Text answers end at the first NUL, as a C string would.
  body.assign(received.c_str());
  return true;
}

// Fails a transfer that stays below the speed floor for a whole stall period.
class SpeedFloor {
 public:
  bool Passed(std::uint64_t bytes) {
    received_ += bytes;
    const HttpLimits& limits = Limits();
    const auto period = std::chrono::seconds(limits.lowSpeedSeconds);
    const Clock::time_point now = Clock::now();
    if (now - periodStart_ < period) return true;
    const bool fastEnough = received_ >= static_cast<std::uint64_t>(limits.lowSpeedBytesPerSecond) *
                                             static_cast<std::uint64_t>(limits.lowSpeedSeconds);
    periodStart_ = now;
    received_ = 0;
    return fastEnough;
  }

 private:
  Clock::time_point periodStart_ = Clock::now();
  std::uint64_t received_ = 0;
};

bool ReadResponseStreamed(const HttpRequest& handles, const ChunkSink& sink, ProgressLine* progress,
                          std::uint64_t maxBytes) {
  if (!handles.request.IsValid()) return false;
  int status = 400;
  unsigned long long length = 0;
  // Judged on the announced length, so not a byte of a larger answer is read.
  if (!QueryAnswer(handles, status, length)) return false;
  if (length > maxBytes) return RecordTooLarge(handles, length, maxBytes);
  std::vector<char> buffer(kChunkSize + 1);
  if (length == 0) {
    sink(buffer, 0, static_cast<std::uint32_t>(status));
    return true;
  }
  auto remaining = static_cast<std::uint32_t>(length);
  SpeedFloor floor;
  DWORD got = 0;
  do {
    buffer.resize(kChunkSize + 1);
    got = 0;
    // A failed read (a stall past the time-out, a reset) is a failed download, not a short one.
    if (!ReadBody(handles, buffer.data(), remaining < kChunkSize ? remaining : kChunkSize, got)) return false;
    remaining -= got;
    sink(buffer, got, static_cast<std::uint32_t>(status));
    if (progress && status == 200) progress->Update(length - remaining, length);
    if (!floor.Passed(got)) {
      handles.RecordStall();
      return false;
    }
  } while (remaining > 0 && got > 0);
  // A body cut off before its announced length is a failed download, not a short file.
  if (status != 200 || remaining == 0) return true;
  RecordCause(L"the answer for " + handles.url + L" ended " + std::to_wstring(remaining) + L" bytes short");
  return false;
}

}  // namespace

void SetHttpLimitsForTesting(const HttpLimits& limits) { Limits() = limits; }

bool HttpGetToString(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, int& status, std::string& body) {
  status = 400;
  body.clear();
  const Clock::time_point started = Clock::now();
  const HttpRequest handles(server, path, userAgent, L"GET", headers);
  return handles.Send(nullptr, 0) && ReadResponseToString(handles, started, status, body);
}

bool HttpGetStreamed(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, const ChunkSink& sink, ProgressLine* progress,
                     std::uint64_t maxBytes) {
  const HttpRequest handles(server, path, userAgent, L"GET", headers);
  return handles.Send(nullptr, 0) && ReadResponseStreamed(handles, sink, progress, maxBytes);
}

int HttpPutBody(const char* body, std::uint32_t bodyLength, const ServerEndpoint& server, const std::wstring& path,
                const std::wstring& userAgent, const std::vector<std::wstring>& headers, int& status,
                std::string& response) {
  if (!body || bodyLength == 0) return 0;
  status = 400;
  response.clear();
  if (bodyLength > Protocol::kMaxTelemetryBodyBytes) return 2;
  const Clock::time_point started = Clock::now();
  const HttpRequest handles(server, path, userAgent, L"PUT", headers);
  if (!handles.Send(body, bodyLength)) return 0;
  // Answered is enough here: the caller judges the status.
  ReadResponseToString(handles, started, status, response);
  return 1;
}

}  // namespace Kyrowan::Windows
