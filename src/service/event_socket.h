// TEventSockets: the WebSocket /api/events. Each client gets the whole
// status when it connects, then again on every change (at most every
// StatusEvery) and every event as it happens, from a writer of its own: a
// client that reads too slowly holds up nobody but itself, and since only
// the latest status is ever waiting for it, nothing piles up. Clients may
// send commands once they have shown the password.
#pragma once

#include <atomic>
#include <functional>
#include <chrono>
#include <memory>
#include <mutex>
#include <map>
#include <string_view>

#include <nlohmann/json.hpp>

#include "control/command_bus.h"
#include "control/status.h"
#include "service/auth_gate.h"

struct mg_connection;
struct mg_context;

namespace lumora::service {

// What a client sends over the WebSocket: its password, or a command to
// run; anything else is an error answered as such.
struct TSocketMessage {
  enum class TKind : std::uint8_t { Auth, Command, Error } Kind = TKind::Error;
  nlohmann::json Id;
  std::string Secret;
  control::TCommand Command;
  std::string Error;
};

// Reads one message; never throws, whatever the bytes.
TSocketMessage ReadSocketMessage(std::string_view text);

struct TSocketLimits {
  int Sockets = 64;
  std::chrono::milliseconds StatusEvery{100};
};

class TEventSockets {
 public:
  // addressOf names the client of a connection.
  TEventSockets(control::TCommandBus& bus, control::TStatusBoard& status, TAuthGate& gate, TSocketLimits limits,
                std::function<std::string(const mg_connection*)> addressOf);
  ~TEventSockets();
  TEventSockets(const TEventSockets&) = delete;
  TEventSockets& operator=(const TEventSockets&) = delete;

  void Attach(mg_context* context, const char* path);
  // Stops every writer, before the server closes the connections.
  void Close();
  int Count() const { return fCount; }

 private:
  class TClient;

  static int onConnect(const mg_connection* connection, void* self);
  static void onReady(mg_connection* connection, void* self);
  static int onData(mg_connection* connection, int bits, char* data, std::size_t length, void* self);
  static void onClose(const mg_connection* connection, void* self);

  bool admit(const mg_connection* connection, bool& mayCommand);
  bool answer(TClient& client, const char* data, std::size_t length);
  void write(TClient& client, std::stop_token stop);

  control::TCommandBus& fBus;
  control::TStatusBoard& fStatus;
  TAuthGate& fGate;
  TSocketLimits fLimits;
  std::function<std::string(const mg_connection*)> fAddressOf;
  std::atomic<int> fCount = 0;
  std::atomic<bool> fClosing = false;
  std::mutex fLock;
  // Under fLock; each connection sees its client through its user data.
  std::map<const TClient*, std::unique_ptr<TClient>> fClients;
};

}  // namespace lumora::service
