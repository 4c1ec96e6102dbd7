#include "service/tls_front.h"

#include "service/thread_priority.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace lumora::service {

namespace {

constexpr std::size_t kChunk = 16384;

std::string sslError() {
  char text[256] = "unknown error";
  if (const unsigned long code = ERR_get_error(); code != 0) ERR_error_string_n(code, text, sizeof text);
  return text;
}

void setTimeout(int fd, std::chrono::milliseconds timeout) {
  timeval value{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

bool sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int connectInner(std::uint16_t port, std::uint16_t& localPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  localPort = ntohs(address.sin_port);
  return fd;
}

}  // namespace

struct TTlsFront::TContext {
  SSL_CTX* Ssl = nullptr;
  ~TContext() { SSL_CTX_free(Ssl); }
};

struct TTlsFront::TCarrier {
  std::atomic<bool> Done = false;
  std::atomic<int> Client = -1;
  std::atomic<int> Inner = -1;
  std::jthread Thread;
};

TTlsFront::TTlsFront(TTlsFrontOptions options) : fOptions(std::move(options)), fContext(std::make_unique<TContext>()) {
  fContext->Ssl = SSL_CTX_new(TLS_server_method());
  if (fContext->Ssl == nullptr) throw std::runtime_error("TLS cannot start: " + sslError());
  SSL_CTX_set_min_proto_version(fContext->Ssl, TLS1_2_VERSION);
  const char* file = fOptions.Certificate.c_str();
  if (SSL_CTX_use_certificate_chain_file(fContext->Ssl, file) != 1 ||
      SSL_CTX_use_PrivateKey_file(fContext->Ssl, file, SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(fContext->Ssl) != 1) {
    throw std::runtime_error(fOptions.Certificate + ": no certificate with its key: " + sslError());
  }
  listen();
  fAcceptor = std::jthread([this](std::stop_token stop) { accept(stop); });
}

TTlsFront::~TTlsFront() {
  fAcceptor.request_stop();
  const char byte = 0;
  [[maybe_unused]] const ssize_t woken = ::write(fWake[1], &byte, 1);
  fAcceptor = {};
  {
    const std::lock_guard lock(fLock);
    for (const auto& carrier : fCarriers) {
      carrier->Thread.request_stop();
      for (const int fd : {carrier->Client.load(), carrier->Inner.load()}) {
        if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
      }
    }
  }
  fCarriers.clear();
  for (const int fd : {fListener, fWake[0], fWake[1]}) {
    if (fd >= 0) ::close(fd);
  }
}

void TTlsFront::listen() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(fOptions.Port);
  const std::string where = fOptions.Address + ":" + std::to_string(fOptions.Port);
  if (inet_pton(AF_INET, fOptions.Address.c_str(), &address.sin_addr) != 1) {
    throw std::runtime_error(where + ": no IPv4 address to listen on");
  }
  fListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (fListener < 0 || ::bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fListener, 64) != 0 || ::pipe2(fWake, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot serve the control page at " + where);
  }
  socklen_t length = sizeof address;
  ::getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length);
  fPort = ntohs(address.sin_port);
}

void TTlsFront::accept(std::stop_token stop) {
  YieldToTheShow();
  while (!stop.stop_requested()) {
    pollfd ready[2] = {{fListener, POLLIN, 0}, {fWake[0], POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0 || (ready[1].revents & POLLIN) != 0) return;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const int client = ::accept4(fListener, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
    if (client < 0) continue;
    reap();
    char peer[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, peer, sizeof peer);
    const std::lock_guard lock(fLock);
    if (static_cast<int>(fCarriers.size()) >= fOptions.Connections) {
      ::close(client);
      continue;
    }
    auto carrier = std::make_unique<TCarrier>();
    carrier->Client = client;
    TCarrier* seen = carrier.get();
    carrier->Thread = std::jthread([this, seen, peer = std::string(peer)](std::stop_token carried) {
      carry(*seen, peer, carried);
      seen->Done = true;
    });
    fCarriers.push_back(std::move(carrier));
  }
}

// Carriers that are done are joined and let go.
void TTlsFront::reap() {
  std::vector<std::unique_ptr<TCarrier>> done;
  {
    const std::lock_guard lock(fLock);
    for (auto& carrier : fCarriers) {
      if (carrier->Done) done.push_back(std::move(carrier));
    }
    std::erase(fCarriers, nullptr);
  }
}

// The handshake, then bytes each way until either side ends.
void TTlsFront::carry(TCarrier& carrier, const std::string& peer, std::stop_token stop) {
  YieldToTheShow();
  const int client = carrier.Client;
  setTimeout(client, fOptions.Timeout);
  SSL* ssl = SSL_new(fContext->Ssl);
  std::uint16_t localPort = 0;
  if (ssl != nullptr && SSL_set_fd(ssl, client) == 1 && SSL_accept(ssl) == 1) {
    carrier.Inner = connectInner(fOptions.InnerPort, localPort);
  }
  if (carrier.Inner >= 0) {
    {
      const std::lock_guard lock(fLock);
      fPeers[localPort] = peer;
    }
    pump(ssl, client, carrier.Inner, stop);
    const std::lock_guard lock(fLock);
    fPeers.erase(localPort);
  }
  if (ssl != nullptr) {
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  closeSocket(carrier.Inner);
  closeSocket(carrier.Client);
}

// A WebSocket may be quiet a while (the service pings it every ten
// seconds), so only a much longer silence ends a connection.
void TTlsFront::pump(SSL* ssl, int client, int inner, std::stop_token stop) {
  const int quiet = static_cast<int>(fOptions.Timeout.count() * 6);
  char buffer[kChunk];
  while (!stop.stop_requested()) {
    pollfd ready[2] = {{client, POLLIN, 0}, {inner, POLLIN, 0}};
    if (SSL_pending(ssl) == 0 && ::poll(ready, 2, quiet) <= 0) return;
    if (SSL_pending(ssl) > 0 || (ready[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const int n = SSL_read(ssl, buffer, sizeof buffer);
      if (n <= 0 || !sendAll(inner, buffer, static_cast<std::size_t>(n))) return;
    }
    if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = ::recv(inner, buffer, sizeof buffer, 0);
      if (n <= 0 || SSL_write(ssl, buffer, static_cast<int>(n)) <= 0) return;
    }
  }
}

void TTlsFront::closeSocket(std::atomic<int>& socket) {
  int fd = -1;
  {
    const std::lock_guard lock(fLock);
    fd = socket.exchange(-1);
  }
  if (fd >= 0) ::close(fd);
}

std::optional<std::string> TTlsFront::PeerOf(std::uint16_t localPort) const {
  const std::lock_guard lock(fLock);
  const auto it = fPeers.find(localPort);
  if (it == fPeers.end()) return std::nullopt;
  return it->second;
}

}  // namespace lumora::service
