// The control service's password as the programs find it: from a file
// given for scripts, from the hash stored in the configuration folder, or
// made at random on a first run and left, readable by its user alone,
// where the program says.
#pragma once

#include <string>

#include "io/configuration_folder.h"

namespace lumora {

struct TPasswordSource {
  // A file holding the password in clear (--password-file); none: the
  // stored hash, or a new password.
  std::string PasswordFile;
  // Where the hash is stored and a new password is written.
  std::string Folder = ConfigurationFolder();
};

struct TControlPassword {
  std::string Hash;
  // Set when a new password was made: the file that holds it.
  std::string NewPasswordFile;
};

// Raises std::runtime_error naming the file at fault.
TControlPassword FindControlPassword(const TPasswordSource& source);
// Stores the hash of a new password (--set-password); the password must
// have at least 8 characters. Returns the file the hash went to.
std::string StoreControlPassword(const std::string& password, const std::string& folder = ConfigurationFolder());

}  // namespace lumora
