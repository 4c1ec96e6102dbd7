#include "tools/control_command_line.h"

namespace lumora {

CLI::Option* AddControlOptions(CLI::App& app, TControlServiceOptions& options) {
  CLI::Option* control = app.add_option("--control", options.Listen,
                                        "serve the control page and API at [ADDRESS:]PORT (address 127.0.0.1 when "
                                        "not given; port 0 picks a free one and prints it)");
  app.add_option("--password-file", options.PasswordFile, "read the control password from this file")
      ->check(CLI::ExistingFile);
  app.add_option("--web", options.WebFolder, "serve the control page from this folder")->check(CLI::ExistingDirectory);
  app.add_option("--certificate", options.Certificate, "serve HTTPS with this PEM file (certificate and key)")
      ->check(CLI::ExistingFile);
  return control;
}

}  // namespace lumora
