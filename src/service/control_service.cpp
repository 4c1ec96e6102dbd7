#include "service/control_service.h"

#include <civetweb.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "control/json_limits.h"
#include "service/api_document.h"
#include "service/event_socket.h"
#include "service/http_exchange.h"
#include "service/thread_priority.h"
#include "service/tls_front.h"
#include "service/web_assets.h"

namespace lumora::service {

namespace {

constexpr const char* kRealm = "Basic realm=\"Lumora Stage\", charset=\"UTF-8\"";
constexpr std::string_view kCommandsPath = "/api/commands/";

// With HTTPS, the service listens on loopback alone, behind the TLS front.
std::string listeningPort(const TServiceOptions& options) {
  if (!options.Certificate.empty()) return "127.0.0.1:0";
  return options.Address + ":" + std::to_string(options.Port);
}

// Whether an Origin header names the host the request was sent to. A
// request without one comes from no web page.
bool originMatches(const TRequest& request) {
  const std::string origin = request.Header("Origin");
  if (origin.empty()) return true;
  const std::string host = request.Header("Host");
  return !host.empty() && (origin == "http://" + host || origin == "https://" + host);
}

int statusOf(const control::TCommandResult& result) {
  switch (result.Fault) {
    case control::TFault::None: return 200;
    case control::TFault::Arguments: return 400;
    case control::TFault::Unknown: return 404;
    case control::TFault::Busy: return 503;
    case control::TFault::Refused: return 409;
  }
  return 409;
}

// Opens and closes a connection to the address at once.
void KnockOn(const std::string& address, std::uint16_t port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) return;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
  ::close(fd);
}

TReply resultReply(const control::TCommandResult& result) {
  return JsonReply(statusOf(result), control::ResultJson(result));
}

}  // namespace

class TControlService::TServer {
 public:
  TServer(TServiceParts parts, TServiceOptions options)
      : fParts(std::move(parts)), fOptions(std::move(options)), fGate(fOptions.PasswordHash, fOptions.Clock),
        fSockets(*fParts.Bus, *fParts.Status, fGate, {fOptions.Sockets, fOptions.StatusEvery},
                 [this](const mg_connection* c) { return addressOf(c); }) {
    start();
  }

  ~TServer() {
    fSockets.Close();
    fFront.reset();
    if (fContext == nullptr) return;
    stop();
    mg_exit_library();
  }

  std::uint16_t Port() const { return fFront ? fFront->Port() : fPort; }
  const std::string& Address() const { return fOptions.Address; }
  bool Secure() const { return !fOptions.Certificate.empty(); }
  int Sockets() const { return fSockets.Count(); }

 private:
  void start();
  void stop();
  static int onRequest(mg_connection* connection, void* self);
  std::string addressOf(const mg_connection* connection) const;
  int handle(const TRequest& request);
  std::optional<TReply> refusal(const TRequest& request, bool api);
  TReply page(const TRequest& request);
  TReply api(const TRequest& request);
  TReply read(const TRequest& request);
  TReply change(const TRequest& request);
  TReply command(const std::string& name, const nlohmann::json& args);
  TReply route(const TRequest& request, const TResourceRoute& route);
  std::optional<nlohmann::json> bodyArguments(const TRequest& request, TReply& refusal);
  nlohmann::json queryArguments(const TRequest& request, const std::string& commandName);
  const TResourceRoute* routeOf(const TRequest& request) const;

  TServiceParts fParts;
  TServiceOptions fOptions;
  TAuthGate fGate;
  TEventSockets fSockets;
  mg_context* fContext = nullptr;
  std::unique_ptr<TTlsFront> fFront;
  std::uint16_t fPort = 0;
  // Where this machine reaches the listener.
  std::string fKnockAddress;
};

void TControlService::TServer::start() {
  const std::string port = listeningPort(fOptions);
  const std::string threads = std::to_string(fOptions.Connections);
  const std::string timeout = std::to_string(fOptions.RequestTimeout.count());
  const std::string keepAlive = std::to_string(fOptions.KeepAlive.count());
  const std::string idle = std::to_string(fOptions.SocketIdle.count());
  std::vector<const char*> settings = {
      "listening_ports", port.c_str(),      "num_threads",          threads.c_str(),
      "request_timeout_ms", timeout.c_str(), "enable_keep_alive",   "yes",
      "keep_alive_timeout_ms", keepAlive.c_str(), "websocket_timeout_ms", idle.c_str(),
      "enable_websocket_ping_pong", "yes",  "access_control_allow_origin", "",
      "access_control_allow_methods", "",   "access_control_allow_headers", "",
      "enable_directory_listing", "no",     "max_request_size",     "16384",
      "static_file_max_age", "0"};
  settings.push_back(nullptr);
  mg_init_library(0);
  mg_callbacks callbacks{};
  callbacks.init_thread = [](const mg_context*, int) -> void* {
    YieldToTheShow();
    return nullptr;
  };
  fContext = mg_start(&callbacks, this, settings.data());
  if (fContext == nullptr) throw std::runtime_error("cannot serve the control page at " + port);
  mg_set_request_handler(fContext, "/", &TServer::onRequest, this);
  fSockets.Attach(fContext, "/api/events");
  mg_server_port ports[2]{};
  if (mg_get_server_ports(fContext, 2, ports) > 0) fPort = static_cast<std::uint16_t>(ports[0].port);
  fKnockAddress = fOptions.Address == "0.0.0.0" || Secure() ? "127.0.0.1" : fOptions.Address;
  if (Secure()) {
    fFront = std::make_unique<TTlsFront>(
        TTlsFrontOptions{fOptions.Certificate, fOptions.Address, fOptions.Port, fPort, fOptions.Connections,
                         fOptions.RequestTimeout});
  }
}

// civetweb's listener looks at its stop flag only between connections or
// every two seconds; knocking on its door makes it look at once, so the
// program can end without that wait.
void TControlService::TServer::stop() {
  std::atomic<bool> stopped = false;
  std::jthread knocker([this, &stopped] {
    while (!stopped) {
      KnockOn(fKnockAddress, fPort);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  mg_stop(fContext);
  stopped = true;
}

int TControlService::TServer::onRequest(mg_connection* connection, void* self) {
  auto& server = *static_cast<TServer*>(self);
  TRequest request = RequestOf(connection);
  request.Address = server.addressOf(connection);
  return server.handle(request);
}

// Behind the TLS front every connection comes from loopback; the front
// knows whom it carries.
std::string TControlService::TServer::addressOf(const mg_connection* connection) const {
  const mg_request_info* info = mg_get_request_info(connection);
  if (!fFront || !IsLoopback(info->remote_addr)) return info->remote_addr;
  return fFront->PeerOf(static_cast<std::uint16_t>(info->remote_port)).value_or(info->remote_addr);
}

int TControlService::TServer::handle(const TRequest& request) {
  const bool api = request.Path == "/api" || request.Path.starts_with("/api/");
  if (const std::optional<TReply> refused = refusal(request, api)) return Send(request.Connection, *refused);
  const TReply reply = api ? this->api(request) : page(request);
  return Send(request.Connection, reply, request.Method == "HEAD");
}

// The password where one is needed, and for what changes state, a request
// that no other site's page can have made.
std::optional<TReply> TControlService::TServer::refusal(const TRequest& request, bool api) {
  const bool changes = ChangesState(request.Method);
  const TAuthAnswer answer =
      fGate.Check(request.Address, changes || !IsLoopback(request.Address), request.Header("Authorization"));
  if (answer.Verdict == TVerdict::TooManyFailures) {
    TReply reply = ErrorReply(429, "too many wrong passwords; try again later");
    reply.Headers.emplace_back("Retry-After", std::to_string(answer.RetryAfter.count()));
    return reply;
  }
  if (answer.Verdict != TVerdict::Allowed) {
    TReply reply = ErrorReply(401, answer.Verdict == TVerdict::WrongPassword ? "the password is wrong"
                                                                             : "the password is needed");
    // The page itself asks the browser for the password; the API leaves
    // that to its caller, so that the page's own requests raise no prompt.
    if (!api) reply.Headers.emplace_back("WWW-Authenticate", kRealm);
    return reply;
  }
  if (changes && !originMatches(request)) return ErrorReply(403, "a request from another site's page is refused");
  return std::nullopt;
}

TReply TControlService::TServer::page(const TRequest& request) {
  if (request.Method != "GET" && request.Method != "HEAD") return ErrorReply(405, "the page is only read");
  std::optional<TWebFile> file = FindWebFile(fOptions.WebFolder, request.Path);
  if (!file) return ErrorReply(404, "no such page");
  return {200, file->Type, std::string(file->Bytes.begin(), file->Bytes.end()), {}};
}

TReply TControlService::TServer::api(const TRequest& request) {
  if (const TResourceRoute* route = routeOf(request)) return this->route(request, *route);
  if (!ChangesState(request.Method)) return read(request);
  return change(request);
}

TReply TControlService::TServer::read(const TRequest& request) {
  if (request.Path == "/api/status") return {200, "application/json", *fParts.Status->JsonText(), {}};
  if (request.Path == "/api/shows") return JsonReply(200, fParts.Shows ? fParts.Shows() : nlohmann::json::array());
  if (request.Path == "/api/commands") {
    nlohmann::json commands = nlohmann::json::array();
    for (const control::TCommandSpec& spec : fParts.Bus->Specs()) commands.push_back(control::CommandJson(spec));
    return JsonReply(200, commands);
  }
  if (request.Path == "/api/openapi.json") return JsonReply(200, ApiDocument(fParts.Bus->Specs(), fParts.Routes));
  if (request.Path == "/api/preview.png") {
    std::optional<std::vector<std::uint8_t>> png = fParts.Preview ? fParts.Preview() : std::nullopt;
    if (!png) return ErrorReply(404, "no frame has been drawn yet");
    return {200, "image/png", std::string(png->begin(), png->end()), {}};
  }
  return ErrorReply(404, "no such resource");
}

TReply TControlService::TServer::change(const TRequest& request) {
  if (request.Method != "POST") return ErrorReply(405, "resources are changed by POST");
  TReply refused;
  const std::optional<nlohmann::json> args = bodyArguments(request, refused);
  if (!args) return refused;
  if (request.Path == "/api/session") return JsonReply(200, {{"token", fGate.NewSession()}});
  if (!request.Path.starts_with(kCommandsPath)) return ErrorReply(404, "no such resource");
  return command(request.Path.substr(kCommandsPath.size()), *args);
}

TReply TControlService::TServer::command(const std::string& name, const nlohmann::json& args) {
  return resultReply(fParts.Bus->Post({name, args, control::TCommandSource::Http}));
}

// Bodies are JSON objects (or nothing) sent as JSON: a form of another
// site cannot send that without asking first, and is not answered.
std::optional<nlohmann::json> TControlService::TServer::bodyArguments(const TRequest& request, TReply& refusal) {
  const std::string type = request.Header("Content-Type");
  if (!type.starts_with("application/json")) {
    refusal = ErrorReply(415, "the body must be sent as application/json");
    return std::nullopt;
  }
  const std::optional<std::string> body = ReadBody(request.Connection, fOptions.MaxBody, refusal);
  if (!body) return std::nullopt;
  if (body->find_first_not_of(" \t\r\n") == std::string::npos) return nlohmann::json::object();
  std::string fault;
  std::optional<nlohmann::json> args = control::ParseBoundedJson(*body, fault);
  if (!args) refusal = ErrorReply(400, "the body " + fault);
  return args;
}

const TResourceRoute* TControlService::TServer::routeOf(const TRequest& request) const {
  for (const TResourceRoute& route : fParts.Routes) {
    if (route.Path == request.Path && route.Method == request.Method) return &route;
  }
  return nullptr;
}

TReply TControlService::TServer::route(const TRequest& request, const TResourceRoute& route) {
  if (!ChangesState(request.Method)) return command(route.Command, queryArguments(request, route.Command));
  TReply refused;
  const std::optional<nlohmann::json> args = bodyArguments(request, refused);
  if (!args) return refused;
  return command(route.Command, *args);
}

// The query's values for the command's arguments, as their types ask.
nlohmann::json TControlService::TServer::queryArguments(const TRequest& request, const std::string& commandName) {
  nlohmann::json args = nlohmann::json::object();
  const control::TCommandSpec* spec = fParts.Bus->Find(commandName);
  if (spec == nullptr) return args;
  for (const control::TArgumentSpec& argument : spec->Arguments) {
    const std::optional<std::string> value = QueryValue(request.Query, argument.Name.c_str());
    if (!value) continue;
    const bool numeric = argument.Type == control::TArgumentType::Integer ||
                         argument.Type == control::TArgumentType::Number;
    nlohmann::json parsed = numeric ? nlohmann::json::parse(*value, nullptr, false) : nlohmann::json(*value);
    args[argument.Name] = parsed.is_discarded() ? nlohmann::json(*value) : parsed;
  }
  return args;
}

TControlService::TControlService(TServiceParts parts, TServiceOptions options)
    : fServer(std::make_unique<TServer>(std::move(parts), std::move(options))) {}

TControlService::~TControlService() = default;

std::uint16_t TControlService::Port() const { return fServer->Port(); }

int TControlService::Sockets() const { return fServer->Sockets(); }

std::string TControlService::Url() const {
  return std::string(fServer->Secure() ? "https" : "http") + "://" + fServer->Address() + ":" + std::to_string(Port()) +
         "/";
}

}  // namespace lumora::service
