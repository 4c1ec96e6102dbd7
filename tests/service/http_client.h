// A plain HTTP and WebSocket client over a socket to 127.0.0.1, for
// testing the control service as any client would reach it, hostile ones
// included: every byte it sends is the test's own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumora::service::testing {

class TTestSocket {
 public:
  explicit TTestSocket(std::uint16_t port) {
    fFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Close();
  }
  ~TTestSocket() { Close(); }
  TTestSocket(const TTestSocket&) = delete;
  TTestSocket& operator=(const TTestSocket&) = delete;

  bool Open() const { return fFd >= 0; }
  int Handle() const { return fFd; }
  void Close() {
    if (fFd >= 0) ::close(fFd);
    fFd = -1;
  }
  bool Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (fFd >= 0 && sent < bytes.size()) {
      const ssize_t n = ::send(fFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return sent == bytes.size();
  }
  // Up to n bytes, waiting at most wait; empty at the end or on time-out.
  std::string Receive(std::size_t n, std::chrono::milliseconds wait) {
    pollfd p{fFd, POLLIN, 0};
    if (fFd < 0 || ::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return {};
    std::string bytes(n, '\0');
    const ssize_t got = ::recv(fFd, bytes.data(), n, 0);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
  }
  // Exactly n bytes, or fewer if the connection ends or stalls.
  std::string ReceiveAll(std::size_t n, std::chrono::milliseconds wait) {
    std::string bytes;
    while (bytes.size() < n) {
      const std::string more = Receive(n - bytes.size(), wait);
      if (more.empty()) break;
      bytes += more;
    }
    return bytes;
  }
  // Whether the server has closed the connection within the wait.
  bool ClosedBy(std::chrono::milliseconds wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fFd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char byte[4096];
      if (::recv(fFd, byte, sizeof byte, 0) <= 0) return true;
    }
    return false;
  }

 private:
  int fFd = -1;
};

struct THttpAnswer {
  int Status = 0;
  // Names in lower case.
  std::map<std::string, std::string> Headers;
  std::string Body;
  nlohmann::json Json() const { return nlohmann::json::parse(Body, nullptr, false); }
};

inline std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Reads one answer: the head, then Content-Length bytes of body.
inline THttpAnswer ReadAnswer(TTestSocket& socket, std::chrono::milliseconds wait = std::chrono::seconds(10)) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    const std::string byte = socket.Receive(1, wait);
    if (byte.empty()) return {};
    head += byte;
  }
  THttpAnswer answer;
  answer.Status = std::atoi(head.substr(9, 3).c_str());
  std::size_t line = head.find("\r\n") + 2;
  while (line < head.size() - 4) {
    const std::size_t end = head.find("\r\n", line);
    const std::string field = head.substr(line, end - line);
    const std::size_t colon = field.find(':');
    answer.Headers[lowerCase(field.substr(0, colon))] = field.substr(field.find_first_not_of(' ', colon + 1));
    line = end + 2;
  }
  const auto length = answer.Headers.find("content-length");
  if (length != answer.Headers.end()) answer.Body = socket.ReceiveAll(std::stoul(length->second), wait);
  return answer;
}

using THeaders = std::vector<std::pair<std::string, std::string>>;

inline std::string RequestText(const std::string& method, const std::string& path, std::uint16_t port,
                               const THeaders& headers, const std::string& body) {
  std::string text = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
  for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
  if (!body.empty() || method == "POST" || method == "PUT") text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "Connection: close\r\n\r\n" + body;
}

inline THttpAnswer Request(std::uint16_t port, const std::string& method, const std::string& path,
                           const THeaders& headers = {}, const std::string& body = {}) {
  TTestSocket socket(port);
  socket.Send(RequestText(method, path, port, headers, body));
  return ReadAnswer(socket);
}

// Basic credentials with any user name.
inline std::pair<std::string, std::string> BasicAuth(const std::string& password) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string plain = "show:" + password;
  std::string encoded;
  for (std::size_t i = 0; i < plain.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(plain[i]) << 16;
    if (i + 1 < plain.size()) v |= static_cast<unsigned char>(plain[i + 1]) << 8;
    if (i + 2 < plain.size()) v |= static_cast<unsigned char>(plain[i + 2]);
    encoded += kDigits[(v >> 18) & 63];
    encoded += kDigits[(v >> 12) & 63];
    encoded += i + 1 < plain.size() ? kDigits[(v >> 6) & 63] : '=';
    encoded += i + 2 < plain.size() ? kDigits[v & 63] : '=';
  }
  return {"Authorization", "Basic " + encoded};
}

inline THeaders JsonHeaders(const std::string& password) {
  return {{"Content-Type", "application/json"}, BasicAuth(password)};
}

// A WebSocket client: the handshake, masked text frames out, and the
// server's frames read one at a time.
class TWebSocket {
 public:
  TWebSocket(std::uint16_t port, const std::string& path, const THeaders& headers = {}) : fSocket(port) {
    std::string text = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                       "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    fSocket.Send(text + "\r\n");
    fHandshake = ReadAnswer(fSocket);
  }

  bool Open() const { return fHandshake.Status == 101; }
  TTestSocket& Socket() { return fSocket; }

  void Send(const nlohmann::json& message) { sendFrame('\x81', message.dump()); }

  // The next text message, answering pings as a browser does; none on
  // time-out or close.
  std::optional<nlohmann::json> Next(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    for (;;) {
      const std::string head = fSocket.ReceiveAll(2, wait);
      if (head.size() < 2) return std::nullopt;
      std::uint64_t length = static_cast<unsigned char>(head[1]) & 0x7f;
      const int extra = length == 126 ? 2 : length == 127 ? 8 : 0;
      if (extra > 0) {
        const std::string bytes = fSocket.ReceiveAll(static_cast<std::size_t>(extra), wait);
        length = 0;
        for (const char b : bytes) length = (length << 8) | static_cast<unsigned char>(b);
      }
      const std::string payload = fSocket.ReceiveAll(static_cast<std::size_t>(length), wait);
      const int opcode = head[0] & 0x0f;
      if (opcode == 0x8) return std::nullopt;
      if (opcode == 0x9) sendFrame('\x8a', payload);
      if (opcode == 0x1) return nlohmann::json::parse(payload, nullptr, false);
    }
  }

  // The next message of a type, skipping the others.
  std::optional<nlohmann::json> NextOf(const std::string& type, std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    for (;;) {
      std::optional<nlohmann::json> message = Next(wait);
      if (!message || (*message)["type"] == type) return message;
    }
  }

 private:
  void sendFrame(char first, const std::string& payload) {
    std::string frame(1, first);
    if (payload.size() < 126) {
      frame += static_cast<char>(0x80 | payload.size());
    } else {
      frame += static_cast<char>(0x80 | 126);
      frame += static_cast<char>(payload.size() >> 8);
      frame += static_cast<char>(payload.size() & 0xff);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i) frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    fSocket.Send(frame);
  }

  TTestSocket fSocket;
  THttpAnswer fHandshake;
};

}  // namespace lumora::service::testing
