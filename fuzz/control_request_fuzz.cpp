// The control service's requests as any client could send them: a
// WebSocket message, or a command's JSON body checked against the show's
// commands and run on a bus whose handlers read every argument back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "control/command_bus.h"
#include "control/show_commands.h"
#include "service/event_socket.h"

namespace {

void registerReaders(lumora::control::TCommandBus& bus) {
  for (const lumora::control::TCommandSpec& spec : lumora::control::ShowCommandSpecs()) {
    bus.Register(spec, [spec](const lumora::control::TCommand& command) {
        for (const lumora::control::TArgumentSpec& argument : spec.Arguments) {
          const char* name = argument.Name.c_str();
          switch (argument.Type) {
            case lumora::control::TArgumentType::Integer: lumora::control::IntegerOf(command.Args, name, 0); break;
            case lumora::control::TArgumentType::Number: lumora::control::NumberOf(command.Args, name, 0); break;
            case lumora::control::TArgumentType::Boolean: lumora::control::BooleanOf(command.Args, name, false); break;
            default: lumora::control::StringOf(command.Args, name); break;
          }
        }
        return lumora::control::TCommandResult::Ok(command.Args);
    });
  }
}

lumora::control::TCommandBus& bus() {
  static lumora::control::TCommandBus instance;
  static const bool ready = (registerReaders(instance), true);
  (void)ready;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const lumora::service::TSocketMessage message = lumora::service::ReadSocketMessage(text);
  if (message.Kind == lumora::service::TSocketMessage::TKind::Command) {
    lumora::control::ResultJson(bus().Run(message.Command)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  // The same bytes as the body of each command.
  const nlohmann::json body = nlohmann::json::parse(text, nullptr, false);
  if (body.is_discarded()) return 0;
  for (const lumora::control::TCommandSpec& spec : lumora::control::ShowCommandSpecs()) {
    bus().Run({spec.Name, body, lumora::control::TCommandSource::Http});
  }
  return 0;
}
