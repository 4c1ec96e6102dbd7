#include "service/event_socket.h"

#include <civetweb.h>

#include <condition_variable>
#include <string>
#include <thread>

#include "control/json_limits.h"
#include "service/http_exchange.h"
#include "service/thread_priority.h"

namespace lumora::service {

namespace {

// A client's message is a command or a password: small.
constexpr std::size_t kMaxMessage = 64 * 1024;
constexpr std::chrono::seconds kQuietWait{1};

std::string text(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

class TEventSockets::TClient {
 public:
  TClient(mg_connection* connection, std::string address, bool mayCommand)
      : Connection(connection), Address(std::move(address)), MayCommand(mayCommand) {}

  // False once a write has failed: the client is gone or too slow.
  bool Send(const nlohmann::json& message) { return SendText(text(message)); }
  bool SendText(const std::string& bytes) {
    if (!Alive) return false;
    if (mg_websocket_write(Connection, MG_WEBSOCKET_OPCODE_TEXT, bytes.data(), bytes.size()) <= 0) Alive = false;
    return Alive;
  }

  // Waits until the time or a stop, whichever comes first.
  void WaitUntil(std::chrono::steady_clock::time_point time, std::stop_token stop) {
    std::unique_lock lock(fWaitLock);
    fWait.wait_until(lock, stop, time, [] { return false; });
  }

  mg_connection* Connection;
  const std::string Address;
  std::atomic<bool> MayCommand;
  std::atomic<bool> Alive = true;
  std::jthread Writer;

 private:
  std::mutex fWaitLock;
  std::condition_variable_any fWait;
};

TEventSockets::TEventSockets(control::TCommandBus& bus, control::TStatusBoard& status, TAuthGate& gate,
                             TSocketLimits limits, std::function<std::string(const mg_connection*)> addressOf)
    : fBus(bus), fStatus(status), fGate(gate), fLimits(limits), fAddressOf(std::move(addressOf)) {}

TEventSockets::~TEventSockets() { Close(); }

void TEventSockets::Attach(mg_context* context, const char* path) {
  mg_set_websocket_handler(context, path, &onConnect, &onReady, &onData, &onClose, this);
}

void TEventSockets::Close() {
  fClosing = true;
  const std::lock_guard lock(fLock);
  for (const auto& [seen, client] : fClients) client->Writer.request_stop();
  fStatus.Wake();
}

// A connection is let in while there is room, from a page of this server
// (or no page at all), and from another machine only with the password.
bool TEventSockets::admit(const mg_connection* connection, bool& mayCommand) {
  auto* writable = const_cast<mg_connection*>(connection);
  TRequest request = RequestOf(writable);
  request.Address = fAddressOf(connection);
  const std::string origin = request.Header("Origin");
  const std::string host = request.Header("Host");
  if (!origin.empty() && origin != "http://" + host && origin != "https://" + host) return false;
  const std::optional<std::string> token = QueryValue(request.Query, "token");
  TAuthAnswer answer{TVerdict::NeedsPassword, {}};
  if (token) {
    answer = fGate.CheckSecret(request.Address, *token);
  } else if (!request.Header("Authorization").empty()) {
    answer = fGate.Check(request.Address, true, request.Header("Authorization"));
  }
  mayCommand = answer.Verdict == TVerdict::Allowed;
  return mayCommand || IsLoopback(request.Address);
}

int TEventSockets::onConnect(const mg_connection* connection, void* self) {
  auto& sockets = *static_cast<TEventSockets*>(self);
  if (sockets.fClosing) return 1;
  if (++sockets.fCount > sockets.fLimits.Sockets) {
    --sockets.fCount;
    return 1;
  }
  bool mayCommand = false;
  if (!sockets.admit(connection, mayCommand)) {
    --sockets.fCount;
    return 1;
  }
  auto client =
      std::make_unique<TClient>(const_cast<mg_connection*>(connection), sockets.fAddressOf(connection), mayCommand);
  mg_set_user_connection_data(connection, client.get());
  const std::lock_guard lock(sockets.fLock);
  sockets.fClients.emplace(client.get(), std::move(client));
  return 0;
}

void TEventSockets::onReady(mg_connection* connection, void* self) {
  auto& sockets = *static_cast<TEventSockets*>(self);
  auto* client = static_cast<TClient*>(mg_get_user_connection_data(connection));
  // Close stops writers under the same lock.
  const std::lock_guard lock(sockets.fLock);
  client->Writer = std::jthread([&sockets, client](std::stop_token stop) { sockets.write(*client, stop); });
  if (sockets.fClosing) client->Writer.request_stop();
}

int TEventSockets::onData(mg_connection* connection, int bits, char* data, std::size_t length, void* self) {
  auto& sockets = *static_cast<TEventSockets*>(self);
  auto* client = static_cast<TClient*>(mg_get_user_connection_data(connection));
  const int opcode = bits & 0x0f;
  if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE || !client->Alive) return 0;
  if (opcode != MG_WEBSOCKET_OPCODE_TEXT) return 1;
  if (length > kMaxMessage) return 0;
  return sockets.answer(*client, data, length) ? 1 : 0;
}

TSocketMessage ReadSocketMessage(std::string_view text) {
  TSocketMessage message;
  std::string fault;
  const nlohmann::json json = control::ParseBoundedJson(text, fault).value_or(nlohmann::json());
  if (!json.is_object()) {
    message.Error = "a message must be a JSON object";
    return message;
  }
  message.Id = json.value("id", nlohmann::json());
  const nlohmann::json type = json.value("type", nlohmann::json());
  if (type == "auth") {
    const nlohmann::json secret = json.value("secret", nlohmann::json());
    message.Kind = TSocketMessage::TKind::Auth;
    message.Secret = secret.is_string() ? secret.get<std::string>() : std::string();
    return message;
  }
  if (type != "command") {
    message.Error = "unknown message type";
    return message;
  }
  const nlohmann::json name = json.value("name", nlohmann::json());
  message.Kind = TSocketMessage::TKind::Command;
  message.Command = {name.is_string() ? name.get<std::string>() : std::string(),
                     json.value("args", nlohmann::json::object()), control::TCommandSource::WebSocket};
  return message;
}

// An answer for every message, with its id.
bool TEventSockets::answer(TClient& client, const char* data, std::size_t length) {
  const TSocketMessage message = ReadSocketMessage({data, length});
  switch (message.Kind) {
    case TSocketMessage::TKind::Error:
      return client.Send({{"type", "error"}, {"id", message.Id}, {"error", message.Error}});
    case TSocketMessage::TKind::Auth: {
      const TAuthAnswer answer = fGate.CheckSecret(client.Address, message.Secret);
      client.MayCommand = client.MayCommand || answer.Verdict == TVerdict::Allowed;
      return client.Send({{"type", "auth"}, {"id", message.Id}, {"ok", answer.Verdict == TVerdict::Allowed}});
    }
    case TSocketMessage::TKind::Command: break;
  }
  const control::TCommandResult result =
      client.MayCommand ? fBus.Post(message.Command)
                        : control::TCommandResult::Failed(control::TFault::Refused, "the password is needed");
  return client.Send({{"type", "result"}, {"id", message.Id}, {"result", control::ResultJson(result)}});
}

// The whole status at once, then each change no more often than
// StatusEvery, and every event as it comes.
void TEventSockets::write(TClient& client, std::stop_token stop) {
  YieldToTheShow();
  std::uint64_t seenEvent = fStatus.LastEvent();
  std::optional<std::uint64_t> sentStatus;
  auto lastStatus = std::chrono::steady_clock::time_point{};
  while (!stop.stop_requested() && !fClosing && client.Alive) {
    for (const control::TEvent& event : fStatus.EventsAfter(seenEvent)) {
      if (!client.Send({{"type", "event"}, {"event", control::EventJson(event)}})) return;
      seenEvent = event.Sequence;
    }
    const std::shared_ptr<const control::TStatus> status = fStatus.Current();
    if (status->Sequence != sentStatus) {
      const auto due = lastStatus + fLimits.StatusEvery;
      if (std::chrono::steady_clock::now() < due) {
        client.WaitUntil(due, stop);
        continue;
      }
      if (!client.SendText(R"({"type":"status","status":)" + *fStatus.JsonText() + "}")) return;
      sentStatus = status->Sequence;
      lastStatus = std::chrono::steady_clock::now();
    }
    fStatus.WaitForNews(*sentStatus, seenEvent, kQuietWait);
  }
}

void TEventSockets::onClose(const mg_connection* connection, void* self) {
  auto& sockets = *static_cast<TEventSockets*>(self);
  const auto* seen = static_cast<const TClient*>(mg_get_user_connection_data(connection));
  std::unique_ptr<TClient> client;
  {
    const std::lock_guard lock(sockets.fLock);
    auto node = sockets.fClients.extract(seen);
    if (node.empty()) return;
    client = std::move(node.mapped());
  }
  client->Alive = false;
  client->Writer.request_stop();
  sockets.fStatus.Wake();
  // The writer is joined here, before the connection goes, so it never
  // writes to a freed one.
  client.reset();
  --sockets.fCount;
}

}  // namespace lumora::service
