#include "control/command_spec.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace lumora::control {

namespace {

const char* typeName(TArgumentType type) {
  switch (type) {
    case TArgumentType::String: return "string";
    case TArgumentType::Integer: return "integer";
    case TArgumentType::Number: return "number";
    case TArgumentType::Boolean: return "boolean";
    case TArgumentType::Choice: return "string";
    case TArgumentType::Array: return "array";
    case TArgumentType::Object: return "object";
  }
  return "string";
}

std::string numberText(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<std::int64_t>(v));
  return nlohmann::json(v).dump();
}

std::string choicesText(const std::vector<std::string>& choices) {
  std::string text;
  for (const std::string& c : choices) text += (text.empty() ? "\"" : ", \"") + c + "\"";
  return text;
}

bool isInteger(const nlohmann::json& value) {
  if (value.is_number_integer()) return true;
  if (!value.is_number_float()) return false;
  const double v = value.get<double>();
  return std::isfinite(v) && v == std::floor(v);
}

// Empty when the value fits the argument, else why not.
std::string checkValue(const TArgumentSpec& spec, const nlohmann::json& value) {
  switch (spec.Type) {
    case TArgumentType::String:
      if (!value.is_string()) return "must be a string";
      if (value.get_ref<const std::string&>().size() > spec.MaxLength) {
        return "is longer than " + std::to_string(spec.MaxLength) + " bytes";
      }
      return {};
    case TArgumentType::Boolean: return value.is_boolean() ? "" : "must be true or false";
    case TArgumentType::Choice:
      if (!value.is_string() ||
          std::find(spec.Choices.begin(), spec.Choices.end(), value.get<std::string>()) == spec.Choices.end()) {
        return "must be one of " + choicesText(spec.Choices);
      }
      return {};
    case TArgumentType::Array:
      if (!value.is_array()) return "must be a list";
      if (value.size() > spec.MaxLength) return "holds more than " + std::to_string(spec.MaxLength) + " items";
      return {};
    case TArgumentType::Object: return value.is_object() ? "" : "must be a JSON object";
    case TArgumentType::Integer:
    case TArgumentType::Number: break;
  }
  if (spec.Type == TArgumentType::Integer ? !isInteger(value) : !value.is_number()) {
    return spec.Type == TArgumentType::Integer ? "must be a whole number" : "must be a number";
  }
  const double v = value.get<double>();
  if (!(v >= spec.Min && v <= spec.Max)) {
    return "must be from " + numberText(spec.Min) + " to " + numberText(spec.Max);
  }
  return {};
}

TCommandResult checkOneOf(const TCommandSpec& spec, const nlohmann::json& args) {
  std::vector<std::string> given;
  for (const std::string& name : spec.OneOf) {
    if (args.contains(name)) given.push_back(name);
  }
  if (given.size() > 1) return TCommandResult::Fail(given[1], "cannot be given with \"" + given[0] + "\"");
  if (given.empty() && spec.OneRequired) {
    return TCommandResult::Fail(spec.OneOf.front(), "one of " + choicesText(spec.OneOf) + " is needed");
  }
  return TCommandResult::Ok();
}

}  // namespace

namespace {

TArgumentSpec argument(std::string name, TArgumentType type, std::string description, bool required) {
  TArgumentSpec spec;
  spec.Name = std::move(name);
  spec.Type = type;
  spec.Description = std::move(description);
  spec.Required = required;
  return spec;
}

TArgumentSpec ranged(TArgumentSpec spec, double min, double max) {
  spec.Min = min;
  spec.Max = max;
  return spec;
}

}  // namespace

TArgumentSpec StringArgument(std::string name, std::string description, bool required, std::size_t maxLength) {
  TArgumentSpec spec = argument(std::move(name), TArgumentType::String, std::move(description), required);
  spec.MaxLength = maxLength;
  return spec;
}

TArgumentSpec IntegerArgument(std::string name, std::string description, double min, double max, bool required) {
  return ranged(argument(std::move(name), TArgumentType::Integer, std::move(description), required), min, max);
}

TArgumentSpec NumberArgument(std::string name, std::string description, double min, double max, bool required) {
  return ranged(argument(std::move(name), TArgumentType::Number, std::move(description), required), min, max);
}

TArgumentSpec BooleanArgument(std::string name, std::string description, bool required) {
  return argument(std::move(name), TArgumentType::Boolean, std::move(description), required);
}

TArgumentSpec ChoiceArgument(std::string name, std::string description, std::vector<std::string> choices,
                             bool required) {
  TArgumentSpec spec = argument(std::move(name), TArgumentType::Choice, std::move(description), required);
  spec.Choices = std::move(choices);
  return spec;
}

TArgumentSpec ArrayArgument(std::string name, std::string description, std::size_t maxItems, nlohmann::json schema,
                            bool required) {
  TArgumentSpec spec = argument(std::move(name), TArgumentType::Array, std::move(description), required);
  spec.MaxLength = maxItems;
  spec.Schema = std::move(schema);
  return spec;
}

TArgumentSpec ObjectArgument(std::string name, std::string description, nlohmann::json schema, bool required) {
  TArgumentSpec spec = argument(std::move(name), TArgumentType::Object, std::move(description), required);
  spec.Schema = std::move(schema);
  return spec;
}

TCommandSpec CommandSpec(std::string name, std::string description, std::vector<TArgumentSpec> arguments) {
  TCommandSpec spec;
  spec.Name = std::move(name);
  spec.Description = std::move(description);
  spec.Arguments = std::move(arguments);
  return spec;
}

const TCommandSpec& FindCommandSpec(const std::vector<TCommandSpec>& specs, std::string_view name) {
  const auto it = std::find_if(specs.begin(), specs.end(), [&](const TCommandSpec& s) { return s.Name == name; });
  if (it == specs.end()) throw std::logic_error("no command " + std::string(name));
  return *it;
}

TCommandResult ValidateArguments(const TCommandSpec& spec, const nlohmann::json& args) {
  if (args.is_null()) return ValidateArguments(spec, nlohmann::json::object());
  if (!args.is_object()) return TCommandResult::Failed(TFault::Arguments, "the arguments must be a JSON object");
  for (const auto& item : args.items()) {
    const std::string& name = item.key();
    const nlohmann::json& value = item.value();
    const auto argument = std::find_if(spec.Arguments.begin(), spec.Arguments.end(),
                                       [&](const TArgumentSpec& a) { return a.Name == name; });
    if (argument == spec.Arguments.end()) {
      return TCommandResult::Fail(name, "is not an argument of \"" + spec.Name + "\"");
    }
    const std::string fault = checkValue(*argument, value);
    if (!fault.empty()) return TCommandResult::Fail(name, fault);
  }
  for (const TArgumentSpec& argument : spec.Arguments) {
    if (argument.Required && !args.contains(argument.Name)) return TCommandResult::Fail(argument.Name, "is required");
  }
  return checkOneOf(spec, args);
}

nlohmann::json ArgumentsSchema(const TCommandSpec& spec) {
  nlohmann::json properties = nlohmann::json::object();
  nlohmann::json required = nlohmann::json::array();
  for (const TArgumentSpec& a : spec.Arguments) {
    nlohmann::json p = a.Schema;
    p["type"] = typeName(a.Type);
    p["description"] = a.Description;
    if (std::isfinite(a.Min)) p["minimum"] = a.Min;
    if (std::isfinite(a.Max)) p["maximum"] = a.Max;
    if (a.Type == TArgumentType::Choice) p["enum"] = a.Choices;
    if (a.Type == TArgumentType::String) p["maxLength"] = a.MaxLength;
    if (a.Type == TArgumentType::Array) p["maxItems"] = a.MaxLength;
    properties[a.Name] = std::move(p);
    if (a.Required) required.push_back(a.Name);
  }
  nlohmann::json schema = {{"type", "object"}, {"properties", properties}, {"additionalProperties", false}};
  if (!required.empty()) schema["required"] = required;
  if (!spec.OneOf.empty()) {
    nlohmann::json alternatives = nlohmann::json::array();
    for (const std::string& name : spec.OneOf) alternatives.push_back({{"required", {name}}});
    if (spec.OneRequired) {
      schema["oneOf"] = alternatives;
    } else {
      schema["not"] = {{"anyOf", nlohmann::json::array()}};
      for (std::size_t i = 0; i < spec.OneOf.size(); ++i) {
        for (std::size_t k = i + 1; k < spec.OneOf.size(); ++k) {
          schema["not"]["anyOf"].push_back({{"required", {spec.OneOf[i], spec.OneOf[k]}}});
        }
      }
    }
  }
  return schema;
}

nlohmann::json CommandJson(const TCommandSpec& spec) {
  return {{"name", spec.Name}, {"description", spec.Description}, {"arguments", ArgumentsSchema(spec)}};
}

std::int64_t IntegerOf(const nlohmann::json& args, const char* name, std::int64_t otherwise) {
  if (!args.is_object() || !args.contains(name)) return otherwise;
  // Kept inside the type, since a spec may leave a range open.
  constexpr double kLimit = 9.0e18;
  return static_cast<std::int64_t>(std::clamp(args.at(name).get<double>(), -kLimit, kLimit));
}

double NumberOf(const nlohmann::json& args, const char* name, double otherwise) {
  if (!args.is_object() || !args.contains(name)) return otherwise;
  return args.at(name).get<double>();
}

bool BooleanOf(const nlohmann::json& args, const char* name, bool otherwise) {
  if (!args.is_object() || !args.contains(name)) return otherwise;
  return args.at(name).get<bool>();
}

std::string StringOf(const nlohmann::json& args, const char* name, const std::string& otherwise) {
  if (!args.is_object() || !args.contains(name)) return otherwise;
  return args.at(name).get<std::string>();
}

}  // namespace lumora::control
