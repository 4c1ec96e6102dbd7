// One HTTP request as the control service reads it, and the reply it
// writes, over a civetweb connection.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

struct mg_connection;

namespace lumora::service {

struct TRequest {
  mg_connection* Connection = nullptr;
  std::string Method;
  // Decoded, without the query.
  std::string Path;
  std::string Query;
  std::string Address;
  // A header's value, or empty.
  std::string Header(const char* name) const;
};

TRequest RequestOf(mg_connection* connection);

struct TReply {
  int Status = 200;
  std::string Type = "application/json";
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
};

TReply JsonReply(int status, const nlohmann::json& body);
// {"error": message}
TReply ErrorReply(int status, const std::string& message);
// Writes the reply with the headers every answer carries; returns the
// status for civetweb's log.
int Send(mg_connection* connection, const TReply& reply, bool headOnly = false);

// The request's body, at most limit bytes; a larger body answers 413 and
// a broken one 400, through the reply given.
std::optional<std::string> ReadBody(mg_connection* connection, std::size_t limit, TReply& refusal);

// The value of a query parameter, decoded, or none.
std::optional<std::string> QueryValue(const std::string& query, const char* name);

}  // namespace lumora::service
