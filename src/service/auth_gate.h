// TAuthGate: who may do what. A request that changes state, and every
// request from another machine, needs the password (HTTP Basic with any
// user name, or Bearer), or a session token the password was exchanged
// for; failed tries are limited per address.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::service {

using TSteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// Whether the address (as the server reports it) is this machine's
// loopback: 127.0.0.0/8, ::1 or an IPv4-mapped 127 address.
bool IsLoopback(std::string_view address);
// GET and HEAD read; every other method changes state.
bool ChangesState(std::string_view method);

// Failed password tries by address: the first few are free, then each
// further failure locks the address out for twice as long as the last, up
// to a limit; a good password clears the count.
class TLoginLimiter {
 public:
  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kFirstLockout{30};
  static constexpr std::chrono::seconds kLongestLockout{900};
  static constexpr std::size_t kAddressesKept = 4096;

  explicit TLoginLimiter(TSteadyClock clock);
  // How long the address must still wait before its next try, if at all.
  std::optional<std::chrono::seconds> Lockout(const std::string& address);
  void Failed(const std::string& address);
  void Succeeded(const std::string& address);

 private:
  struct TRecord {
    int Failures = 0;
    std::chrono::steady_clock::time_point Until;
    std::chrono::steady_clock::time_point Last;
  };
  void makeRoom();

  TSteadyClock fClock;
  std::mutex fLock;
  std::map<std::string, TRecord> fRecords;
};

enum class TVerdict : std::uint8_t { Allowed, NeedsPassword, WrongPassword, TooManyFailures };

struct TAuthAnswer {
  TVerdict Verdict = TVerdict::Allowed;
  // TooManyFailures: when to try again.
  std::chrono::seconds RetryAfter{0};
};

class TAuthGate {
 public:
  static constexpr std::chrono::hours kSessionLife{12};
  static constexpr std::size_t kSessionsKept = 256;

  TAuthGate(std::string passwordHash, TSteadyClock clock = std::chrono::steady_clock::now);

  // authorization: the Authorization header as sent, or empty.
  TAuthAnswer Check(const std::string& address, bool needsPassword, std::string_view authorization);
  // The same for a secret given on its own (a WebSocket's first message).
  TAuthAnswer CheckSecret(const std::string& address, std::string_view secret);
  // A new session token, for a client that has shown the password.
  std::string NewSession();

 private:
  bool secretMatches(std::string_view secret);
  std::string digestOf(std::string_view secret) const;

  std::string fHash;
  TSteadyClock fClock;
  TLoginLimiter fLimiter;
  // A keyed digest of secrets checked lately, so that a client sending
  // its password with every request costs one slow hash, not one each.
  unsigned char fKey[32];
  std::mutex fLock;
  std::map<std::string, std::chrono::steady_clock::time_point> fVerified;
  std::map<std::string, std::chrono::steady_clock::time_point> fSessions;
};

}  // namespace lumora::service
