#include "https_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include <microhttpd.h>

#include "request_deadlines.h"
#include "routes.h"
#include "socket_cutter.h"
#include "tls_credentials.h"

namespace KyrServer {

struct HttpsServer::State {
  State(Routes& routes, const ConnectionLimits& limits, const TlsCredentials& credentials)
      : routes(routes), deadlines(std::chrono::seconds(limits.requestSeconds)), credentials(credentials) {}

  Routes& routes;
  RequestDeadlines deadlines;
  const TlsCredentials credentials;  ///< read by the TLS library while it serves
  MHD_Daemon* daemon = nullptr;
};

namespace {

using State = HttpsServer::State;

constexpr std::size_t kReadPiece = 65536;

// What a connection keeps between the callbacks of one request.
struct ConnectionState {
  std::string rawUri;  ///< the request line's target as sent: the library passes it on decoded
  bool reachedHandler = false;  ///< false while the library may still refuse the request itself
  bool sawRequestLine = false;  ///< whether the library read a request line on this connection
};

// One request on its way in, and its answer once there is one.
struct Exchange {
  Request request;
  std::size_t keep = 0;  ///< body bytes to keep
  std::optional<Answer> answer;
};

ConnectionState* StateOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<ConnectionState*>(info->socket_context) : nullptr;
}

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info ? info->client_addr : nullptr;
  if (address && address->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  else if (address && address->sa_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  return text;
}

MHD_Result AddHeader(void* request, MHD_ValueKind, const char* name, const char* value) {
  static_cast<Request*>(request)->headers.emplace_back(name, value ? value : "");
  return MHD_YES;
}

// The path is decoded here rather than by the library, which would end it at an encoded NUL.
Request ReadHead(MHD_Connection* connection, const char* url, const char* method) {
  Request request;
  request.peer = PeerAddress(connection);
  request.method = method;
  ConnectionState* state = StateOf(connection);
  const std::string target = state && !state->rawUri.empty() ? std::move(state->rawUri) : std::string(url);
  if (state) {
    state->rawUri.clear();
    state->reachedHandler = true;
  }
  request.path = PercentDecoded(target.substr(0, target.find('?')));
  MHD_get_connection_values(connection, MHD_HEADER_KIND, AddHeader, &request);
  return request;
}

ssize_t ReadPiece(void* file, std::uint64_t position, char* buffer, std::size_t room) {
  std::ifstream& stream = **static_cast<std::shared_ptr<std::ifstream>*>(file);
  stream.clear();
  stream.seekg(static_cast<std::streamoff>(position));
  stream.read(buffer, static_cast<std::streamsize>(room));
  const auto got = stream.gcount();
  return got > 0 ? static_cast<ssize_t>(got) : MHD_CONTENT_READER_END_WITH_ERROR;
}

void FreeFile(void* file) { delete static_cast<std::shared_ptr<std::ifstream>*>(file); }

MHD_Response* ResponseFor(const Answer& answer) {
  MHD_Response* response =
      answer.file ? MHD_create_response_from_callback(answer.fileSize, kReadPiece, ReadPiece,
                                                      new std::shared_ptr<std::ifstream>(answer.file), FreeFile)
                  : MHD_create_response_from_buffer(answer.text.size(), const_cast<char*>(answer.text.data()),
                                                    MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return nullptr;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
  if (answer.close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  return response;
}

MHD_Result Queue(State& state, MHD_Connection* connection, Exchange& exchange, Answer answer) {
  MHD_Response* response = ResponseFor(answer);
  if (response == nullptr) return MHD_NO;
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  state.deadlines.Answered(connection);
  exchange.answer = std::move(answer);
  return queued;
}

// Called once the head has arrived, once for each piece of the body, and once at its end.
MHD_Result OnRequest(void* server, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* data, std::size_t* size, void** context) {
  State& state = *static_cast<State*>(server);
  auto* exchange = static_cast<Exchange*>(*context);
  if (exchange == nullptr) {
    *context = exchange = new Exchange;
    exchange->request = ReadHead(connection, url, method);
    if (auto refusal = state.routes.Refuse(exchange->request))
      return Queue(state, connection, *exchange, std::move(*refusal));
    exchange->keep = state.routes.BodyLimit(exchange->request);
    return MHD_YES;
  }
  if (*size > 0) {
    // Past the bound the body is read but dropped; the request deadline ends an endless one.
    Request& request = exchange->request;
    request.bodyBytes += *size;
    if (request.body.size() < exchange->keep)
      request.body.append(data, std::min(*size, exchange->keep - request.body.size()));
    *size = 0;
    return MHD_YES;
  }
  return Queue(state, connection, *exchange, state.routes.Respond(exchange->request));
}

void OnCompleted(void* server, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
  State& state = *static_cast<State*>(server);
  const std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*context));
  *context = nullptr;
  ConnectionState* connectionState = StateOf(connection);
  if (exchange && exchange->answer)
    state.routes.Log(exchange->request, *exchange->answer);
  else if (connectionState && !connectionState->reachedHandler)
    // The library answered a malformed head itself (a header line without a colon, a head
    // too large, a version it does not speak): it never reached the routes, yet is logged.
    state.routes.LogRefusedHead(PeerAddress(connection), connectionState->rawUri);
  if (connectionState) {
    connectionState->rawUri.clear();
    connectionState->reachedHandler = false;
  }
  state.deadlines.Waiting(connection);
}

void* OnUri(void*, const char* uri, MHD_Connection* connection) {
  if (ConnectionState* state = StateOf(connection)) {
    state->rawUri = uri;
    state->reachedHandler = false;
    state->sawRequestLine = true;
  }
  return nullptr;
}

void OnConnection(void* server, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code) {
  State& state = *static_cast<State*>(server);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    *socketContext = new ConnectionState;
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    auto cutter = info ? SocketCutter(info->connect_fd) : nullptr;
    if (cutter) state.deadlines.Opened(connection, std::move(cutter));
  } else {
    state.deadlines.Closed(connection);
    // The library answers a request line it cannot parse (no version, one it does not speak,
    // bytes that are not HTTP) without a callback, and cannot tell that from silence or from a
    // handshake that failed: every connection that ends without a request line read is logged.
    const auto* closing = static_cast<ConnectionState*>(*socketContext);
    if (closing && !closing->sawRequestLine) state.routes.LogRefusedHead(PeerAddress(connection), "-");
    delete closing;
    *socketContext = nullptr;
  }
}

}  // namespace

std::unique_ptr<HttpsServer> HttpsServer::Start(int listeningSocket, const TlsCredentials& credentials,
                                                const ConnectionLimits& limits, Routes& routes) {
  auto state = std::make_unique<State>(routes, limits, credentials);
  // Event-driven: an idle or slow connection costs a socket, not a thread.
  const unsigned polling = MHD_is_feature_supported(MHD_FEATURE_EPOLL) == MHD_YES ? MHD_USE_EPOLL : MHD_USE_POLL;
  state->daemon = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_TLS | polling, 0, nullptr, nullptr, OnRequest, state.get(),
      MHD_OPTION_LISTEN_SOCKET, listeningSocket,
      MHD_OPTION_HTTPS_MEM_CERT, state->credentials.certificateChain.c_str(),
      MHD_OPTION_HTTPS_MEM_KEY, state->credentials.privateKey.c_str(),
      MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(limits.threads),
      MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits.connections),
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(limits.connectionsPerAddress),
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(limits.idleSeconds),
      MHD_OPTION_NOTIFY_CONNECTION, OnConnection, state.get(),
      MHD_OPTION_URI_LOG_CALLBACK, OnUri, state.get(),
      MHD_OPTION_NOTIFY_COMPLETED, OnCompleted, state.get(),
      MHD_OPTION_END);
  if (state->daemon == nullptr) return nullptr;
  return std::unique_ptr<HttpsServer>(new HttpsServer(std::move(state)));
}

HttpsServer::HttpsServer(std::unique_ptr<State> state) : state_(std::move(state)) {}

HttpsServer::~HttpsServer() { MHD_stop_daemon(state_->daemon); }

}  // namespace KyrServer
