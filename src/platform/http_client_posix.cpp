#include "platform/http_client.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include <curl/curl.h>

#include "platform/failure_causes.h"
#include "platform/http_client_testing.h"
#include "platform/progress_line.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

constexpr std::size_t kChunkSize = 65536;
// The readers count in 32 bits; a larger answer would be silently cut.
constexpr std::uint64_t kMaxContentLength = 0xFFFFFFFFull;
// Followed on every request, over HTTPS only, to any host: a repository may
// send its downloads on to a mirror or an object store.
constexpr long kMaxRedirects = 5;

HttpLimits& Limits() {
  static HttpLimits limits;
  return limits;
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

/// How far a request got.
enum class Outcome { NoAnswer, Unreadable, Read };

/// One request: the libcurl handles, released together, and what it learns of the answer.
struct HttpRequest {
  explicit HttpRequest(curl_slist* headerList)
      : easy(curl_easy_init(), [](CURL* c) { return c != nullptr; }, [](CURL* c) { curl_easy_cleanup(c); }),
        headers(headerList, [](curl_slist* l) { return l != nullptr; }, [](curl_slist* l) { curl_slist_free_all(l); }) {}

  ScopedHandle<CURL*> easy;
  ScopedHandle<curl_slist*> headers;
  std::function<void(const char*, std::size_t)> onBody;
  std::string url;
  std::string hostPort;
  std::string upload;
  std::size_t uploaded = 0;
  bool judged = false;
  bool readable = false;
  int status = 400;
  std::uint64_t contentLength = 0;
  std::uint64_t maxContentLength = kMaxContentLength;
  /// What a test's transport answers instead of the network.
  std::unique_ptr<HttpAnswerForTesting> fake = MakeAnswerForTesting();
};

// The status (0 when none came) and the Content-Length (-1 when none) of the answer.
void ReadAnswerHead(HttpRequest& request, long& code, curl_off_t& length) {
  if (request.fake) {
    code = request.fake->Status();
    length = request.fake->ContentLength();
    return;
  }
  if (curl_easy_getinfo(request.easy.Get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
  if (curl_easy_getinfo(request.easy.Get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
}

// Why an answer is of no use, if it is not: an answer other than 200 says all there
// is to say; a 200 answer fails on its length.
void RecordAnswerCause(const HttpRequest& request, curl_off_t length) {
  if (request.status != 200)
    RecordCause(FromUtf8("the server answered " + std::to_string(request.status) + " for " + request.url),
                request.status);
  else if (length < 0)
    RecordCause(FromUtf8("the server sent no length for " + request.url));
  else if (static_cast<std::uint64_t>(length) > request.maxContentLength)
    RecordCause(FromUtf8("the answer for " + request.url + " is " + std::to_string(length) + " bytes, more than the " +
                         std::to_string(request.maxContentLength) + " allowed"));
}

// Looks at the headers once, before any body byte is passed on: reading is driven
// by Content-Length, so a chunked or length-less answer (libcurl reports -1 for
// both) cannot be read.
bool JudgeAnswer(HttpRequest& request) {
  if (request.judged) return request.readable;
  request.judged = true;
  long code = 0;
  curl_off_t length = -1;
  ReadAnswerHead(request, code, length);
  if (code <= 0) return false;
  request.status = static_cast<int>(code);
  RecordAnswerCause(request, length);
  if (length < 0 || static_cast<std::uint64_t>(length) > request.maxContentLength) return false;
  request.contentLength = static_cast<std::uint64_t>(length);
  request.readable = true;
  return true;
}

std::size_t ReceiveBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& request = *static_cast<HttpRequest*>(user);
  if (!JudgeAnswer(request)) return CURL_WRITEFUNC_ERROR;
  request.onBody(data, size * count);
  return size * count;
}

std::size_t SendBody(char* target, std::size_t size, std::size_t count, void* user) {
  auto& request = *static_cast<HttpRequest*>(user);
  const std::size_t n = std::min(size * count, request.upload.size() - request.uploaded);
  std::memcpy(target, request.upload.data() + request.uploaded, n);
  request.uploaded += n;
  return n;
}

curl_slist* BuildHeaderList(const std::vector<std::wstring>& lines) {
  // Never answered from a cache; and no "Expect: 100-continue" round trip before a PUT body.
  std::vector<std::string> all{"Cache-Control: no-cache", "Pragma: no-cache", "Expect:"};
  for (const auto& line : lines) all.push_back(ToUtf8(line));
  curl_slist* list = nullptr;
  for (const auto& line : all) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) {
      curl_slist_free_all(list);
      return nullptr;
    }
    list = grown;
  }
  return list;
}

bool Configure(HttpRequest& request, const ServerEndpoint& server, const std::wstring& path,
               const std::wstring& userAgent) {
  CURL* curl = request.easy.Get();
  const std::string url = "https://" + ToUtf8(server.host) + ":" + std::to_string(server.port) + ToUtf8(path);
  const std::string agent = ToUtf8(userAgent);
  const HttpLimits& limits = Limits();
  request.hostPort = ToUtf8(server.host) + ":" + std::to_string(server.port);
  request.url = url;
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPHEADER, request.headers.Get()) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  if (!server.caBundlePath.empty()) ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, server.caBundlePath.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ReceiveBody) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, &request) == CURLE_OK;
  return ok;
}

// Prepares one request; null when an argument is missing or libcurl refuses the setup.
std::unique_ptr<HttpRequest> OpenHttpRequest(const ServerEndpoint& server, const std::wstring& path,
                                             const std::wstring& userAgent, const std::vector<std::wstring>& headers) {
  if (server.host.empty() || path.empty() || userAgent.empty()) return nullptr;
  InitialiseCurlOnce();
  auto request = std::make_unique<HttpRequest>(BuildHeaderList(headers));
  if (!request->easy.IsValid() || !request->headers.IsValid()) return nullptr;
  if (!Configure(*request, server, path, userAgent)) return nullptr;
  return request;
}

// A PUT takes a redirect as its answer: followed, it would send the body where it was
// never meant to go, or, turned into a GET by a 303, take that GET's answer for its own.
bool PrepareUpload(HttpRequest& request, const char* body, std::uint32_t length) {
  request.upload.assign(body, length);
  CURL* curl = request.easy.Get();
  return curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length)) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_READFUNCTION, &SendBody) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_READDATA, &request) == CURLE_OK;
}

// Hands a test's answer to the same callback libcurl would, in the pieces it comes in.
CURLcode PlayFakeAnswer(HttpRequest& request) {
  if (request.fake->Status() <= 0) return CURLE_COULDNT_CONNECT;
  for (std::vector<char> piece; !(piece = request.fake->NextPiece(SIZE_MAX)).empty();)
    if (ReceiveBody(piece.data(), 1, piece.size(), &request) != piece.size()) return CURLE_WRITE_ERROR;
  return CURLE_OK;
}

// Why no answer could be read, in the words of the system where it has them.
void RecordTransportFailure(HttpRequest& request, CURLcode code) {
  long osError = 0;
  if (request.fake || curl_easy_getinfo(request.easy.Get(), CURLINFO_OS_ERRNO, &osError) != CURLE_OK) osError = 0;
  const std::string detail = osError != 0 ? ToUtf8(OsErrorText(static_cast<std::uint32_t>(osError)))
                                          : std::string(curl_easy_strerror(code));
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      RecordCause(FromUtf8("cannot connect to " + request.hostPort + ": " + detail));
      return;
    case CURLE_COULDNT_RESOLVE_HOST:
      RecordCause(FromUtf8("cannot find the server " + request.hostPort + ": " + detail));
      return;
    case CURLE_OPERATION_TIMEDOUT:
      RecordCause(FromUtf8("the server " + request.hostPort + " stopped answering (timed out) for " + request.url));
      return;
    case CURLE_WRITE_ERROR:
      return;  // refused by JudgeAnswer, which said why
    default:
      RecordCause(FromUtf8("the request for " + request.url + " failed: " + detail));
  }
}

// Sends the request and reads its answer through `onBody`. A body that ends before
// its Content-Length still counts as read: the short result is left to the caller's checks.
Outcome Perform(HttpRequest& request) {
  const CURLcode code = request.fake ? PlayFakeAnswer(request) : curl_easy_perform(request.easy.Get());
  if (code != CURLE_OK && code != CURLE_PARTIAL_FILE) {
    RecordTransportFailure(request, code);
    long status = 0;
    curl_off_t length = -1;
    ReadAnswerHead(request, status, length);
    if (status > 0) request.status = static_cast<int>(status);
    return status > 0 ? Outcome::Unreadable : Outcome::NoAnswer;
  }
  return JudgeAnswer(request) ? Outcome::Read : Outcome::Unreadable;
}

// Text answers are held in memory whole: both their size and their duration are bounded.
Outcome ReadResponseToString(HttpRequest& request, int& status, std::string& body) {
  const HttpLimits& limits = Limits();
  request.maxContentLength = std::min(kMaxContentLength, limits.maxTextBytes);
  if (curl_easy_setopt(request.easy.Get(), CURLOPT_TIMEOUT, limits.textTotalSeconds) != CURLE_OK)
    return Outcome::NoAnswer;
  std::string received;
  request.onBody = [&received](const char* data, std::size_t size) { received.append(data, size); };
  const Outcome outcome = Perform(request);
  status = request.status;
  // Text answers end at the first NUL, as a C string would.
  if (outcome == Outcome::Read) body.assign(received.c_str());
  return outcome;
}

bool ReadResponseStreamed(HttpRequest& request, const ChunkSink& sink, ProgressLine* progress) {
  std::vector<char> buffer(kChunkSize + 1);
  std::size_t filled = 0;
  bool delivered = false;
  const auto flush = [&] {
    sink(buffer, static_cast<std::uint32_t>(filled), static_cast<std::uint32_t>(request.status));
    buffer.resize(kChunkSize + 1);
    filled = 0;
    delivered = true;
  };
  std::uint64_t received = 0;
  request.onBody = [&](const char* data, std::size_t size) {
    received += size;
    if (progress && request.status == 200) progress->Update(received, request.contentLength);
    while (size > 0) {
      const std::size_t take = std::min(size, kChunkSize - filled);
      std::memcpy(buffer.data() + filled, data, take);
      filled += take;
      data += take;
      size -= take;
      if (filled == kChunkSize) flush();
    }
  };
  if (Perform(request) != Outcome::Read) return false;
  // The sink always hears the status, even of an empty or cut-off answer.
  if (filled > 0 || !delivered) flush();
  // A body cut off before its announced length is a failed download, not a short file.
  if (request.status != 200 || received >= request.contentLength) return true;
  RecordCause(FromUtf8("the answer for " + request.url + " ended after " + std::to_string(received) + " of " +
                       std::to_string(request.contentLength) + " bytes"));
  return false;
}

}  // namespace

void SetHttpLimitsForTesting(const HttpLimits& limits) { Limits() = limits; }

bool HttpGetToString(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, int& status, std::string& body) {
  status = 400;
  body.clear();
  auto request = OpenHttpRequest(server, path, userAgent, headers);
  return request && ReadResponseToString(*request, status, body) == Outcome::Read;
}

bool HttpGetStreamed(const ServerEndpoint& server, const std::wstring& path, const std::wstring& userAgent,
                     const std::vector<std::wstring>& headers, const ChunkSink& sink, ProgressLine* progress,
                     std::uint64_t maxBytes) {
  auto request = OpenHttpRequest(server, path, userAgent, headers);
  if (!request) return false;
  // Judged on the announced length, so not a byte of a larger answer is read.
  request->maxContentLength = std::min(kMaxContentLength, maxBytes);
  return ReadResponseStreamed(*request, sink, progress);
}

int HttpPutBody(const char* body, std::uint32_t bodyLength, const ServerEndpoint& server, const std::wstring& path,
                const std::wstring& userAgent, const std::vector<std::wstring>& headers, int& status,
                std::string& response) {
  if (!body || bodyLength == 0) return 0;
  status = 400;
  response.clear();
  if (bodyLength > Protocol::kMaxTelemetryBodyBytes) return 2;
  auto request = OpenHttpRequest(server, path, userAgent, headers);
  if (!request || !PrepareUpload(*request, body, bodyLength)) return 0;
  // Answered is enough here: the caller judges the status.
  return ReadResponseToString(*request, status, response) == Outcome::NoAnswer ? 0 : 1;
}

}  // namespace Kyrowan::Windows
