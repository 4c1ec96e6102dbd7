#include "service/auth_gate.h"

#include <arpa/inet.h>
#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "service/password.h"

namespace lumora::service {

namespace {

constexpr std::chrono::minutes kVerifiedLife{5};
constexpr std::size_t kVerifiedKept = 64;
// An Authorization header longer than this holds no password of ours.
constexpr std::size_t kMaxCredentials = 1024;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char wanted, char given) { return std::tolower(static_cast<unsigned char>(given)) == wanted; });
}

// The secret of "Basic base64(user:password)" or "Bearer secret"; none
// for anything else.
std::optional<std::string> secretOf(std::string_view authorization) {
  if (authorization.size() > kMaxCredentials) return std::nullopt;
  if (startsWithNoCase(authorization, "bearer ")) return std::string(authorization.substr(7));
  if (!startsWithNoCase(authorization, "basic ")) return std::nullopt;
  const std::string_view encoded = authorization.substr(6);
  std::string decoded(encoded.size(), '\0');
  std::size_t length = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(decoded.data()), decoded.size(), encoded.data(),
                        encoded.size(), nullptr, &length, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
    return std::nullopt;
  }
  decoded.resize(length);
  const std::size_t colon = decoded.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return decoded.substr(colon + 1);
}

template <class TMap>
void dropExpired(TMap& map, std::chrono::steady_clock::time_point now) {
  std::erase_if(map, [&](const auto& item) { return item.second <= now; });
}

template <class TMap>
void dropOldest(TMap& map) {
  const auto oldest = std::min_element(map.begin(), map.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
  if (oldest != map.end()) map.erase(oldest);
}

}  // namespace

bool IsLoopback(std::string_view address) {
  in_addr v4{};
  if (inet_pton(AF_INET, std::string(address).c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, std::string(address).c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool ChangesState(std::string_view method) { return method != "GET" && method != "HEAD"; }

TLoginLimiter::TLoginLimiter(TSteadyClock clock) : fClock(std::move(clock)) {}

std::optional<std::chrono::seconds> TLoginLimiter::Lockout(const std::string& address) {
  const std::lock_guard lock(fLock);
  const auto it = fRecords.find(address);
  const auto now = fClock();
  if (it == fRecords.end() || it->second.Until <= now) return std::nullopt;
  return std::chrono::ceil<std::chrono::seconds>(it->second.Until - now);
}

void TLoginLimiter::Failed(const std::string& address) {
  const std::lock_guard lock(fLock);
  if (!fRecords.contains(address)) makeRoom();
  TRecord& record = fRecords[address];
  const auto now = fClock();
  record.Last = now;
  if (++record.Failures < kFreeFailures) return;
  const int doublings = std::min(record.Failures - kFreeFailures, 10);
  record.Until = now + std::min<std::chrono::seconds>(kFirstLockout * (1 << doublings), kLongestLockout);
}

void TLoginLimiter::Succeeded(const std::string& address) {
  const std::lock_guard lock(fLock);
  fRecords.erase(address);
}

// A table full of addresses forgets the one heard from longest ago.
void TLoginLimiter::makeRoom() {
  if (fRecords.size() < kAddressesKept) return;
  const auto oldest = std::min_element(fRecords.begin(), fRecords.end(),
                                       [](const auto& a, const auto& b) { return a.second.Last < b.second.Last; });
  fRecords.erase(oldest);
}

TAuthGate::TAuthGate(std::string passwordHash, TSteadyClock clock)
    : fHash(std::move(passwordHash)), fClock(clock), fLimiter(std::move(clock)) {
  if (sodium_init() < 0) throw std::runtime_error("the password library cannot start");
  crypto_generichash_keygen(fKey);
}

TAuthAnswer TAuthGate::Check(const std::string& address, bool needsPassword, std::string_view authorization) {
  if (!needsPassword) return {};
  if (authorization.empty()) return {TVerdict::NeedsPassword, {}};
  const std::optional<std::string> secret = secretOf(authorization);
  if (!secret) return {TVerdict::NeedsPassword, {}};
  return CheckSecret(address, *secret);
}

TAuthAnswer TAuthGate::CheckSecret(const std::string& address, std::string_view secret) {
  if (const auto wait = fLimiter.Lockout(address)) return {TVerdict::TooManyFailures, *wait};
  if (!secretMatches(secret)) {
    fLimiter.Failed(address);
    return {TVerdict::WrongPassword, {}};
  }
  fLimiter.Succeeded(address);
  return {};
}

std::string TAuthGate::digestOf(std::string_view secret) const {
  unsigned char digest[crypto_generichash_BYTES];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(secret.data()), secret.size(),
                     fKey, sizeof fKey);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

bool TAuthGate::secretMatches(std::string_view secret) {
  const std::string digest = digestOf(secret);
  {
    const std::lock_guard lock(fLock);
    const auto now = fClock();
    dropExpired(fSessions, now);
    dropExpired(fVerified, now);
    if (fSessions.contains(digest) || fVerified.contains(digest)) return true;
  }
  if (!PasswordMatches(fHash, secret)) return false;
  const std::lock_guard lock(fLock);
  if (fVerified.size() >= kVerifiedKept) dropOldest(fVerified);
  fVerified[digest] = fClock() + kVerifiedLife;
  return true;
}

std::string TAuthGate::NewSession() {
  unsigned char bytes[24];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  const std::string token = hex;
  const std::lock_guard lock(fLock);
  if (fSessions.size() >= kSessionsKept) dropOldest(fSessions);
  fSessions[digestOf(token)] = fClock() + kSessionLife;
  return token;
}

}  // namespace lumora::service
