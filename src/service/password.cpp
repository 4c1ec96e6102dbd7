#include "service/password.h"

#include <sodium.h>

#include <stdexcept>

#include "io/stream.h"

namespace lumora::service {

namespace {

// A password file holds one short line; anything larger is not one.
constexpr std::uint64_t kMaxPasswordFile = 4096;
constexpr std::size_t kNewPasswordLength = 16;

void initSodium() {
  if (sodium_init() < 0) throw std::runtime_error("the password library cannot start");
}

}  // namespace

std::string HashPassword(std::string_view password) {
  initSodium();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw std::runtime_error("there is not enough memory to hash the password");
  }
  return hash;
}

bool IsPasswordHash(std::string_view text) {
  return text.size() < crypto_pwhash_STRBYTES && text.starts_with("$argon2id$");
}

bool PasswordMatches(const std::string& hash, std::string_view password) {
  initSodium();
  if (!IsPasswordHash(hash)) return false;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string NewPassword() {
  initSodium();
  // No 0/O or 1/l/I, which read alike.
  static constexpr std::string_view kLetters = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::string password;
  for (std::size_t i = 0; i < kNewPasswordLength; ++i) {
    password += kLetters[randombytes_uniform(static_cast<std::uint32_t>(kLetters.size()))];
  }
  return password;
}

std::string ReadPasswordFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path, kMaxPasswordFile);
  std::string line(bytes.begin(), bytes.end());
  line = line.substr(0, line.find_first_of("\r\n"));
  if (line.empty()) throw std::runtime_error(path + ": holds no password on its first line");
  return line;
}

}  // namespace lumora::service
