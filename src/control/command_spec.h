// TCommandSpec: a command's name, what it does and the arguments it takes,
// each with its type and range. The bus checks every command against its
// spec before it runs, and the control service describes the commands to
// scripts from the same table.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/command.h"

namespace lumora::control {

// Array and Object carry structured values (a schedule's entries) that the
// command reads and checks itself.
enum class TArgumentType : std::uint8_t { String, Integer, Number, Boolean, Choice, Array, Object };

struct TArgumentSpec {
  std::string Name;
  TArgumentType Type = TArgumentType::String;
  std::string Description;
  bool Required = false;
  // Integer and Number: the closed range.
  double Min = -std::numeric_limits<double>::infinity();
  double Max = std::numeric_limits<double>::infinity();
  // Choice: the words allowed.
  std::vector<std::string> Choices;
  // String: the longest value, in bytes; Array: the most items.
  std::size_t MaxLength = 1024;
  // Array and Object: the JSON Schema of the value, for the API document.
  nlohmann::json Schema = nlohmann::json::object();
};

struct TCommandSpec {
  std::string Name;
  std::string Description;
  std::vector<TArgumentSpec> Arguments;
  // Arguments of which at most one may be given (seek takes a frame or
  // seconds); with OneRequired, exactly one.
  std::vector<std::string> OneOf;
  bool OneRequired = false;
};

// Arguments of each type, for the command tables.
TArgumentSpec StringArgument(std::string name, std::string description, bool required = false,
                             std::size_t maxLength = 1024);
TArgumentSpec IntegerArgument(std::string name, std::string description, double min, double max,
                              bool required = false);
TArgumentSpec NumberArgument(std::string name, std::string description, double min, double max,
                             bool required = false);
TArgumentSpec BooleanArgument(std::string name, std::string description, bool required = false);
TArgumentSpec ChoiceArgument(std::string name, std::string description, std::vector<std::string> choices,
                             bool required = false);
TArgumentSpec ArrayArgument(std::string name, std::string description, std::size_t maxItems,
                            nlohmann::json schema = nlohmann::json::object(), bool required = false);
TArgumentSpec ObjectArgument(std::string name, std::string description,
                             nlohmann::json schema = nlohmann::json::object(), bool required = false);
TCommandSpec CommandSpec(std::string name, std::string description, std::vector<TArgumentSpec> arguments = {});

// The spec of that name in a table of them; raises std::logic_error when
// the table has none, which is a fault of the program.
const TCommandSpec& FindCommandSpec(const std::vector<TCommandSpec>& specs, std::string_view name);

// Done when the arguments (an object, or null for none) fit the spec;
// otherwise the error names the argument at fault.
TCommandResult ValidateArguments(const TCommandSpec& spec, const nlohmann::json& args);

// The arguments as a JSON Schema object, for the command list and the API
// document.
nlohmann::json ArgumentsSchema(const TCommandSpec& spec);
// {"name", "description", "arguments": schema} for GET /api/commands.
nlohmann::json CommandJson(const TCommandSpec& spec);

// Reading arguments that ValidateArguments has passed.
std::int64_t IntegerOf(const nlohmann::json& args, const char* name, std::int64_t otherwise);
double NumberOf(const nlohmann::json& args, const char* name, double otherwise);
bool BooleanOf(const nlohmann::json& args, const char* name, bool otherwise);
std::string StringOf(const nlohmann::json& args, const char* name, const std::string& otherwise = {});

}  // namespace lumora::control
