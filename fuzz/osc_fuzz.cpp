// Any datagram on the OSC port: parsed by liblo into messages (bundles
// included), each mapped to a command of the bus's table, a timecode or an
// error; a command's arguments are names of the table's with JSON values.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "sync/osc_mapping.h"
#include "tests/sync/osc_fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora::sync;
  using lumora::fuzz::Check;
  static const TCommandList commands = lumora::test::BusCommands();
  std::string error;
  const auto messages = ParseOscPacket({data, size}, error);
  Check(messages.size() <= kMaxOscMessages);
  for (const TOscMessage& m : messages) {
    const TOscInput input = MapOscMessage(m, commands);
    if (const auto* command = std::get_if<TOscCommand>(&input)) {
      const TCommandSpec* spec = commands.FindCommand(command->Name);
      Check(spec != nullptr && command->Args.is_object());
      for (const auto& [name, value] : command->Args.items()) {
        bool known = false;
        for (const TArgumentSpec& a : spec->Arguments) known = known || a.Name == name;
        Check(known && !value.is_null());
      }
      Check(!command->Args.dump().empty());
    }
  }
  return 0;
}
