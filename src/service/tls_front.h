// TTlsFront: HTTPS for the control service. Debian 12's civetweb cannot
// serve TLS with OpenSSL 3 (it calls SSL_get_peer_certificate, which
// OpenSSL 3 no longer exports, and the worker crashes), so TLS ends here,
// with OpenSSL itself, and each connection is carried on, as it is, to the
// service's own listener on loopback. The service asks who the client
// really is by the port the front connected from.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using SSL = struct ssl_st;

namespace lumora::service {

struct TTlsFrontOptions {
  // A PEM file holding the certificate (and any chain) and its key.
  std::string Certificate;
  std::string Address = "127.0.0.1";
  std::uint16_t Port = 0;
  // The service's own listener, on 127.0.0.1.
  std::uint16_t InnerPort = 0;
  int Connections = 128;
  // A handshake, or a connection with nothing to carry, that takes longer
  // is dropped.
  std::chrono::milliseconds Timeout{10000};
};

class TTlsFront {
 public:
  // Raises std::runtime_error naming the file or the address at fault.
  explicit TTlsFront(TTlsFrontOptions options);
  ~TTlsFront();
  TTlsFront(const TTlsFront&) = delete;
  TTlsFront& operator=(const TTlsFront&) = delete;

  std::uint16_t Port() const { return fPort; }
  // The client behind the connection the front made from this local port;
  // none when the front made no such connection.
  std::optional<std::string> PeerOf(std::uint16_t localPort) const;

 private:
  struct TContext;
  struct TCarrier;

  void listen();
  void accept(std::stop_token stop);
  void carry(TCarrier& carrier, const std::string& peer, std::stop_token stop);
  void pump(SSL* ssl, int client, int inner, std::stop_token stop);
  // Closes a carrier's socket, under fLock so that the front's end never
  // shuts a descriptor down after it was closed.
  void closeSocket(std::atomic<int>& socket);
  void reap();

  TTlsFrontOptions fOptions;
  std::unique_ptr<TContext> fContext;
  int fListener = -1;
  int fWake[2] = {-1, -1};
  std::uint16_t fPort = 0;
  mutable std::mutex fLock;
  // Under fLock.
  std::map<std::uint16_t, std::string> fPeers;
  std::vector<std::unique_ptr<TCarrier>> fCarriers;
  std::jthread fAcceptor;
};

}  // namespace lumora::service
