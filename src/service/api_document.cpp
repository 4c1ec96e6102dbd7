#include "service/api_document.h"

#include <algorithm>
#include <cctype>

#include "service/web_assets.h"

namespace lumora::service {

namespace {

nlohmann::json reference(const char* schema) { return {{"$ref", std::string("#/components/schemas/") + schema}}; }

nlohmann::json jsonContent(nlohmann::json schema) { return {{"application/json", {{"schema", std::move(schema)}}}}; }

// What every command may answer.
nlohmann::json commandResponses() {
  const auto result = [](const char* description) {
    return nlohmann::json{{"description", description}, {"content", jsonContent(reference("Result"))}};
  };
  return {{"200", result("done")},
          {"400", result("an argument is wrong; the answer names it")},
          {"401", {{"$ref", "#/components/responses/PasswordNeeded"}}},
          {"403", {{"$ref", "#/components/responses/OtherSite"}}},
          {"404", result("no such command")},
          {"409", result("the show refused the command")},
          {"413", {{"$ref", "#/components/responses/TooLarge"}}},
          {"415", {{"$ref", "#/components/responses/NotJson"}}},
          {"429", {{"$ref", "#/components/responses/TooManyFailures"}}},
          {"503", result("the show is too busy to take the command, or shutting down")}};
}

nlohmann::json commandOperation(const control::TCommandSpec& spec, bool body) {
  nlohmann::json operation = {{"operationId", spec.Name},
                              {"summary", spec.Description},
                              {"tags", {"commands"}},
                              {"responses", commandResponses()}};
  if (body) {
    operation["requestBody"] = {{"required", false}, {"content", jsonContent(control::ArgumentsSchema(spec))}};
    return operation;
  }
  const nlohmann::json schema = control::ArgumentsSchema(spec);
  operation["parameters"] = nlohmann::json::array();
  for (const control::TArgumentSpec& argument : spec.Arguments) {
    operation["parameters"].push_back({{"name", argument.Name},
                                       {"in", "query"},
                                       {"required", argument.Required},
                                       {"description", argument.Description},
                                       {"schema", schema["properties"][argument.Name]}});
  }
  return operation;
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

nlohmann::json ApiDocument(const std::vector<control::TCommandSpec>& commands,
                           const std::vector<TResourceRoute>& routes) {
  nlohmann::json document = nlohmann::json::parse(ApiDocumentBase());
  for (const control::TCommandSpec& spec : commands) {
    document["paths"]["/api/commands/" + spec.Name]["post"] = commandOperation(spec, true);
  }
  for (const TResourceRoute& route : routes) {
    const auto spec = std::find_if(commands.begin(), commands.end(),
                                   [&](const control::TCommandSpec& s) { return s.Name == route.Command; });
    if (spec == commands.end()) continue;
    nlohmann::json operation = commandOperation(*spec, route.Method != "GET");
    operation["operationId"] = lowerCase(route.Method) + "-" + route.Command;
    document["paths"][route.Path][lowerCase(route.Method)] = std::move(operation);
  }
  return document;
}

}  // namespace lumora::service
