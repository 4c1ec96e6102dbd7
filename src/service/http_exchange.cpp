#include "service/http_exchange.h"

#include <civetweb.h>

#include <algorithm>
#include <string_view>

namespace lumora::service {

namespace {

const char* reasonOf(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

// What every answer carries: nothing of it may be framed, sniffed or sent
// on to another site, and the API is never cached.
constexpr const char* kCommonHeaders =
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Content-Security-Policy: default-src 'self'; img-src 'self' blob: data:; connect-src 'self'; "
    "frame-ancestors 'none'; base-uri 'none'; form-action 'self'\r\n"
    "Cache-Control: no-store\r\n";

}  // namespace

std::string TRequest::Header(const char* name) const {
  const char* value = mg_get_header(Connection, name);
  return value == nullptr ? std::string() : std::string(value);
}

TRequest RequestOf(mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  TRequest request;
  request.Connection = connection;
  request.Method = info->request_method != nullptr ? info->request_method : "";
  request.Path = info->local_uri != nullptr ? info->local_uri : "";
  request.Query = info->query_string != nullptr ? info->query_string : "";
  request.Address = info->remote_addr;
  return request;
}

TReply JsonReply(int status, const nlohmann::json& body) {
  return {status, "application/json", body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}};
}

TReply ErrorReply(int status, const std::string& message) { return JsonReply(status, {{"error", message}}); }

int Send(mg_connection* connection, const TReply& reply, bool headOnly) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.Status) + " " + reasonOf(reply.Status) + "\r\n";
  head += "Content-Type: " + reply.Type + "\r\n";
  head += "Content-Length: " + std::to_string(reply.Body.size()) + "\r\n";
  head += kCommonHeaders;
  for (const auto& [name, value] : reply.Headers) head += name + ": " + value + "\r\n";
  head += "\r\n";
  mg_write(connection, head.data(), head.size());
  if (!headOnly && !reply.Body.empty()) mg_write(connection, reply.Body.data(), reply.Body.size());
  return reply.Status;
}

std::optional<std::string> ReadBody(mg_connection* connection, std::size_t limit, TReply& refusal) {
  const long long declared = mg_get_request_info(connection)->content_length;
  if (declared > static_cast<long long>(limit)) {
    refusal = ErrorReply(413, "the body is larger than " + std::to_string(limit) + " bytes");
    return std::nullopt;
  }
  std::string body;
  char chunk[8192];
  for (;;) {
    // Never more than one past the limit, so that a body sent in pieces
    // without end is cut as soon as it passes it.
    const int n = mg_read(connection, chunk, std::min(sizeof chunk, limit + 1 - body.size()));
    if (n < 0) {
      refusal = ErrorReply(400, "the body could not be read");
      return std::nullopt;
    }
    if (n == 0) return body;
    body.append(chunk, static_cast<std::size_t>(n));
    if (body.size() > limit) {
      refusal = ErrorReply(413, "the body is larger than " + std::to_string(limit) + " bytes");
      return std::nullopt;
    }
  }
}

std::optional<std::string> QueryValue(const std::string& query, const char* name) {
  char value[1024];
  const int n = mg_get_var(query.data(), query.size(), name, value, sizeof value);
  if (n < 0) return std::nullopt;
  return std::string(value, static_cast<std::size_t>(n));
}

}  // namespace lumora::service
