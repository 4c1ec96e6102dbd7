// TControlService: the show's control over HTTP and a WebSocket, with the
// control page. It parses, checks the password and the caps, and hands a
// typed command to the bus; it never touches the show itself. Served by
// civetweb on its own threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/command_bus.h"
#include "control/status.h"
#include "service/auth_gate.h"

namespace lumora::service {

struct TServiceOptions {
  // An IPv4 or IPv6 address to listen on; port 0 picks a free one.
  std::string Address = "127.0.0.1";
  std::uint16_t Port = 0;
  // The password as HashPassword stored it.
  std::string PasswordHash;
  // The installed page's folder; empty: the page the program carries.
  std::string WebFolder;
  // A PEM file with the certificate and its key: HTTPS.
  std::string Certificate;
  std::size_t MaxBody = std::size_t{1} << 20;
  // Connections served at once, and of those, WebSockets.
  int Connections = 128;
  int Sockets = 64;
  // A request, a body or a write that takes longer is dropped.
  std::chrono::milliseconds RequestTimeout{10000};
  std::chrono::milliseconds KeepAlive{5000};
  // A WebSocket that says nothing for this long is pinged, then dropped.
  std::chrono::milliseconds SocketIdle{10000};
  // Status is pushed at most this often.
  std::chrono::milliseconds StatusEvery{100};
  TSteadyClock Clock = std::chrono::steady_clock::now;
};

// A REST resource served by a command of the bus: PUT /api/schedule runs
// "schedule-put" with the body as its arguments; GET takes them from the
// query.
struct TResourceRoute {
  std::string Method;
  std::string Path;
  std::string Command;
};

struct TServiceParts {
  control::TCommandBus* Bus = nullptr;
  control::TStatusBoard* Status = nullptr;
  // GET /api/shows: the show folder's movies and lists.
  std::function<nlohmann::json()> Shows;
  // GET /api/preview.png: the frame, small; none before the first.
  std::function<std::optional<std::vector<std::uint8_t>>()> Preview;
  std::vector<TResourceRoute> Routes;
};

class TControlService {
 public:
  // Listens at once; raises std::runtime_error naming the address when it
  // cannot.
  TControlService(TServiceParts parts, TServiceOptions options);
  ~TControlService();
  TControlService(const TControlService&) = delete;
  TControlService& operator=(const TControlService&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:8080/"
  std::string Url() const;
  // WebSockets open now.
  int Sockets() const;

 private:
  class TServer;
  std::unique_ptr<TServer> fServer;
};

}  // namespace lumora::service
