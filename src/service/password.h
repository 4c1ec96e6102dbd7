// The control password: kept only as a salted hash (Argon2id), checked in
// constant time, and made at random for a first run.
#pragma once

#include <string>
#include <string_view>

namespace lumora::service {

// A salted hash of the password, as stored.
std::string HashPassword(std::string_view password);
// Whether the password matches a stored hash; false for a malformed hash.
bool PasswordMatches(const std::string& hash, std::string_view password);
// Whether the text is a hash HashPassword could have written.
bool IsPasswordHash(std::string_view text);
// A new random password of letters and digits, easy to type on a phone.
std::string NewPassword();
// The first line of a file holding a password in clear, for scripts and
// tests; raises std::runtime_error naming the file when it cannot be read
// or holds no password.
std::string ReadPasswordFile(const std::string& path);

}  // namespace lumora::service
