#include "platform/http_client.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include <windows.h>
#include <wininet.h>

#include "platform/deadline_worker.h"
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
// Always TLS, never from the local cache. Redirects are followed here, not by WinINet,
// which would follow them to plain HTTP and without this client's bound.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Followed on every request, over HTTPS only, to any host: a repository may
// send its downloads on to a mirror or an object store.
constexpr int kMaxRedirects = 5;
// Sent before the caller's lines: no cache between here and the server answers for it
// (INTERNET_FLAG_PRAGMA_NOCACHE adds "Pragma: no-cache").
const std::wstring kFixedHeaders[] = {L"Cache-Control: no-cache"};

using InetHandle = ScopedHandle<HINTERNET>;

using Clock = std::chrono::steady_clock;

HttpLimits& Limits() {
  static HttpLimits limits;
  return limits;
}

InetHandle Hold(HINTERNET handle) { return InetHandle(handle, HandleValidator(), InetHandleCloser()); }

// WinINet's own time-outs: a first bound, which Wine does not keep during the TLS
// handshake; the request's DeadlineWorker is the bound that holds.
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

/// What a request asks, the same on every hop of a redirect chain.
struct RequestParts {
  const std::wstring& userAgent;
  const wchar_t* verb;
  const std::vector<std::wstring>& headers;
  const void* body = nullptr;
  DWORD bodyLength = 0;
};

/// When an exchange must be over: a total bound for text requests, and a bound on each wait.
struct Deadlines {
  Clock::time_point total = Clock::time_point::max();
  /// The end of a wait that may last `seconds` (0: as long as the total bound allows).
  Clock::time_point Within(long seconds) const {
    return seconds > 0 ? (std::min)(total, Clock::now() + std::chrono::seconds(seconds)) : total;
  }
};

Deadlines TextDeadlines() {
  const long seconds = Limits().textTotalSeconds;
  return {seconds > 0 ? Clock::now() + std::chrono::seconds(seconds) : Clock::time_point::max()};
}

/// What a blocking WinINet call reported: whether it succeeded, its error, and for a read
/// the bytes it put in the request's buffer.
struct CallOutcome {
  bool succeeded = false;
  DWORD error = 0;
  DWORD count = 0;
};

/// The three handles of one request (root, connection, request), each opened only when
/// the one before it was; released request first, then connection, then root. Its
/// blocking calls run on its worker; a call still running after its deadline holds the
/// request, which it then releases last.
struct HttpRequest : std::enable_shared_from_this<HttpRequest> {
  HttpRequest(const ServerEndpoint& server, const std::wstring& path, const RequestParts& parts,
              const Deadlines& deadlines)
      : root(Hold(UsableArguments(server, path, parts.userAgent) ? OpenRoot(parts.userAgent) : nullptr)),
        connection(Hold(root.IsValid() ? ::InternetConnectW(root.Get(), server.host.c_str(),
                                                            static_cast<INTERNET_PORT>(server.port), nullptr, nullptr,
                                                            INTERNET_SERVICE_HTTP, 0, 0)
                                       : nullptr)),
        request(Hold(connection.IsValid() ? OpenRequest(connection.Get(), parts.verb, path) : nullptr)),
        hostPort(server.host + L":" + std::to_wstring(server.port)),
        url(L"https://" + hostPort + path),
        deadlines(deadlines) {
    if (!request.IsValid()) return;
    for (const auto& line : kFixedHeaders)
      ::HttpAddRequestHeadersW(request.Get(), line.c_str(), static_cast<DWORD>(line.size()), HTTP_ADDREQ_FLAG_ADD);
    for (const auto& line : parts.headers)
      ::HttpAddRequestHeadersW(request.Get(), line.c_str(), static_cast<DWORD>(line.size()), 0);
  }

  static HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const std::wstring& path) {
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    return ::HttpOpenRequestW(connection, verb, path.c_str(), L"HTTP/1.1", nullptr, acceptTypes, kRequestFlags, 0);
  }

  /// Runs `call` on this request's worker until `deadline`; a call still blocked then is
  /// left to finish alone (a synchronous WinINet call cannot be cancelled) and the
  /// request counts as stalled.
  bool Bounded(std::function<CallOutcome(HttpRequest&)> call, Clock::time_point deadline, CallOutcome& outcome) {
    const std::shared_ptr<HttpRequest> self = shared_from_this();
    if (!worker.Run([self, call = std::move(call)] { self->lastCall = call(*self); }, deadline)) {
      RecordStall();
      return false;
    }
    outcome = lastCall;
    if (!outcome.succeeded) RecordFailure(outcome.error);
    return outcome.succeeded;
  }

  /// Sends the request with an optional body; false when there is no answer. Connecting
  /// and the answer's head together get the connect time and one stall period.
  bool Send(const void* body, DWORD length) {
    if (fake) return request.IsValid() && fake->Status() > 0;
    if (!request.IsValid()) {
      RecordFailure(::GetLastError());
      return false;
    }
    std::string copy = body ? std::string(static_cast<const char*>(body), length) : std::string();
    const auto send = [copy = std::move(copy)](HttpRequest& self) mutable {
      const BOOL sent = ::HttpSendRequestW(self.request.Get(), nullptr, 0, copy.empty() ? nullptr : copy.data(),
                                           static_cast<DWORD>(copy.size()));
      return CallOutcome{sent != FALSE, ::GetLastError(), 0};
    };
    const HttpLimits& limits = Limits();
    CallOutcome outcome;
    return Bounded(send, deadlines.Within(limits.connectSeconds + limits.lowSpeedSeconds), outcome);
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
  Deadlines deadlines;
  /// Where each read of the body lands; streamed pieces go from here to the sink.
  std::vector<char> buffer = std::vector<char>(kChunkSize + 1);
  /// What a test's transport answers instead of the network.
  std::unique_ptr<HttpAnswerForTesting> fake = MakeAnswerForTesting();
  /// Written by the worker, read once its call has returned in time.
  CallOutcome lastCall;
  DeadlineWorker worker;
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

// Whether the answer carries header `query` at all.
bool HasHeader(HINTERNET request, DWORD query) {
  wchar_t text[64] = {};
  DWORD length = sizeof text;
  return ::HttpQueryInfoW(request, query, text, &length, nullptr) || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
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
    // With a transfer coding the Content-Length is not the body's length (WinINet would
    // decode the chunks and hand over whatever they hold), so the answer has none.
    hasLength = QueryNumber(handles.request.Get(), HTTP_QUERY_CONTENT_LENGTH, contentLength) &&
                !HasHeader(handles.request.Get(), HTTP_QUERY_TRANSFER_ENCODING);
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

// One read of the body into the request's buffer: at most `size` (up to kChunkSize)
// bytes, none at its end.
bool ReadBody(HttpRequest& handles, DWORD size, DWORD& got) {
  handles.buffer.resize(kChunkSize + 1);  // a sink may have resized it
  if (!handles.fake) {
    const auto read = [size](HttpRequest& self) {
      CallOutcome outcome;
      outcome.succeeded = ::InternetReadFile(self.request.Get(), self.buffer.data(), size, &outcome.count) != FALSE;
      outcome.error = ::GetLastError();
      return outcome;
    };
    CallOutcome outcome;
    if (!handles.Bounded(read, handles.deadlines.Within(Limits().lowSpeedSeconds), outcome)) return false;
    got = outcome.count;
    return true;
  }
  const std::vector<char> piece = handles.fake->NextPiece(size);
  std::copy(piece.begin(), piece.end(), handles.buffer.begin());
  got = static_cast<DWORD>(piece.size());
  return true;
}

// Notes an answer larger than it may be; false, as the request then is.
bool RecordTooLarge(const HttpRequest& handles, unsigned long long length, std::uint64_t limit) {
  RecordCause(L"the answer for " + handles.url + L" is " + std::to_wstring(length) + L" bytes, more than the " +
              std::to_wstring(limit) + L" allowed");
  return false;
}

bool ReadResponseToString(HttpRequest& handles, int& status, std::string& body) {
  body.clear();
  status = 400;
  if (!handles.request.IsValid()) return false;
  unsigned long long length = 0;
  // The announced length is judged before a byte is read or held.
  if (!QueryAnswer(handles, status, length)) return false;
  if (length > Limits().maxTextBytes) return RecordTooLarge(handles, length, Limits().maxTextBytes);
  std::string received(static_cast<std::size_t>(length), '\0');
  std::size_t filled = 0;
  // One read may deliver less than asked: read until the announced length or the end,
  // a piece at a time so that each read is held to the stall time.
  while (filled < received.size()) {
    DWORD got = 0;
    const auto size = static_cast<DWORD>((std::min)(received.size() - filled, std::size_t{kChunkSize}));
    if (!ReadBody(handles, size, got)) return false;
    if (got == 0) break;
    std::copy_n(handles.buffer.data(), got, received.data() + filled);
    filled += got;
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

bool ReadResponseStreamed(HttpRequest& handles, const ChunkSink& sink, ProgressLine* progress,
                          std::uint64_t maxBytes) {
  if (!handles.request.IsValid()) return false;
  int status = 400;
  unsigned long long length = 0;
  // Judged on the announced length, so not a byte of a larger answer is read.
  if (!QueryAnswer(handles, status, length)) return false;
  if (length > maxBytes) return RecordTooLarge(handles, length, maxBytes);
  if (length == 0) {
    sink(handles.buffer, 0, static_cast<std::uint32_t>(status));
    return true;
  }
  auto remaining = static_cast<std::uint32_t>(length);
  SpeedFloor floor;
  DWORD got = 0;
  do {
    got = 0;
    // A failed read (a stall past the time-out, a reset) is a failed download, not a short one.
    if (!ReadBody(handles, remaining < kChunkSize ? remaining : kChunkSize, got)) return false;
    remaining -= got;
    sink(handles.buffer, got, static_cast<std::uint32_t>(status));
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

// A header's text; empty when the answer has none.
std::wstring QueryText(HINTERNET request, DWORD query) {
  DWORD length = 0;
  if (::HttpQueryInfoW(request, query, nullptr, &length, nullptr) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return {};
  std::wstring text(length / sizeof(wchar_t) + 1, L'\0');
  if (!::HttpQueryInfoW(request, query, text.data(), &length, nullptr)) return {};
  text.resize(length / sizeof(wchar_t));
  return text;
}

// Where a redirect answer sends the request; empty for any other answer, which is final.
std::wstring RedirectLocation(const HttpRequest& handles) {
  unsigned long long code = 0;
  if (handles.fake || !QueryNumber(handles.request.Get(), HTTP_QUERY_STATUS_CODE, code)) return {};
  if (code != 301 && code != 302 && code != 303 && code != 307 && code != 308) return {};
  return QueryText(handles.request.Get(), HTTP_QUERY_LOCATION);
}

// The server and path of `location`, read relative to `base`; false, with the cause,
// unless it is an HTTPS address.
bool RedirectTarget(const std::wstring& base, const std::wstring& location, ServerEndpoint& server,
                    std::wstring& path) {
  std::wstring url(INTERNET_MAX_URL_LENGTH, L'\0');
  auto size = static_cast<DWORD>(url.size());
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!::InternetCombineUrlW(base.c_str(), location.c_str(), url.data(), &size, ICU_NO_ENCODE) ||
      !::InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS ||
      parts.dwHostNameLength == 0) {
    RecordCause(L"the server redirected " + base + L" to " + location + L", which is not an HTTPS address");
    return false;
  }
  server.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  server.port = parts.nPort;
  path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";
  return true;
}

// Sends the request and follows its redirects; the request holding the final answer,
// or null (with the cause) when none came.
std::shared_ptr<HttpRequest> Exchange(ServerEndpoint server, std::wstring path, const RequestParts& parts,
                                      const Deadlines& deadlines) {
  for (int redirects = 0;; ++redirects) {
    auto handles = std::make_shared<HttpRequest>(server, path, parts, deadlines);
    if (!handles->Send(parts.body, parts.bodyLength)) return nullptr;
    // A request with a body (a PUT) takes a redirect as its answer: followed, it would send
    // the body where it was never meant to go, or, turned into a GET by a 303, take that
    // GET's answer for its own.
    const std::wstring location = parts.body ? std::wstring() : RedirectLocation(*handles);
    if (location.empty()) return handles;
    if (redirects == kMaxRedirects) {
      RecordCause(L"the request for " + handles->url + L" was redirected more than " +
                  std::to_wstring(kMaxRedirects) + L" times");
      return nullptr;
    }
    if (!RedirectTarget(handles->url, location, server, path)) return nullptr;
  }
}

}  // namespace

void SetHttpLimitsForTesting(const HttpLimits& limits) { Limits() = limits; }

bool HttpGetToString(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, int& status, std::string& body) {
  status = 400;
  body.clear();
  // A text request ends after its total time, however far it got.
  const auto handles = Exchange(server, path, {userAgent, L"GET", headers}, TextDeadlines());
  return handles && ReadResponseToString(*handles, status, body);
}

bool HttpGetStreamed(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, const ChunkSink& sink, ProgressLine* progress,
                     std::uint64_t maxBytes) {
  const auto handles = Exchange(server, path, {userAgent, L"GET", headers}, Deadlines{});
  return handles && ReadResponseStreamed(*handles, sink, progress, maxBytes);
}

int HttpPutBody(const char* body, std::uint32_t bodyLength, const ServerEndpoint& server, const std::wstring& path,
                const std::wstring& userAgent, const std::vector<std::wstring>& headers, int& status,
                std::string& response) {
  if (!body || bodyLength == 0) return 0;
  status = 400;
  response.clear();
  if (bodyLength > Protocol::kMaxTelemetryBodyBytes) return 2;
  const auto handles = Exchange(server, path, {userAgent, L"PUT", headers, body, bodyLength}, TextDeadlines());
  if (!handles) return 0;
  // Answered is enough here: the caller judges the status.
  ReadResponseToString(*handles, status, response);
  return 1;
}

}  // namespace Kyrowan::Windows
