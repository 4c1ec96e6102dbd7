#include "service/control_service.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include "service/api_document.h"
#include "service_fixture.h"
#include "http_client.h"

namespace lumora::service {
namespace {

using namespace testing;

TEST(ControlService, ReadsNeedNoPasswordFromThisMachine) {
  TServiceFixture f;
  const THttpAnswer status = Request(f.Port(), "GET", "/api/status");
  ASSERT_EQ(status.Status, 200);
  EXPECT_EQ(status.Json()["host"], "test-host");
  EXPECT_EQ(status.Headers.at("x-frame-options"), "DENY");
  EXPECT_EQ(status.Headers.count("access-control-allow-origin"), 0u) << "no other site may read the API";
  EXPECT_EQ(Request(f.Port(), "GET", "/api/shows").Json()[0]["name"], "demo.lst");
  const nlohmann::json commands = Request(f.Port(), "GET", "/api/commands").Json();
  ASSERT_TRUE(commands.is_array());
  EXPECT_EQ(commands[0]["name"], "level");
  EXPECT_EQ(commands[0]["arguments"]["properties"]["percent"]["maximum"], 100);
  EXPECT_EQ(Request(f.Port(), "GET", "/").Status, 200) << "the page";
  EXPECT_EQ(Request(f.Port(), "GET", "/api/nothing").Status, 404);
  EXPECT_EQ(Request(f.Port(), "GET", "/api/preview.png").Status, 404) << "no frame yet";
}

// How each command answer maps to HTTP, and that only the password lets
// anything change.
TEST(ControlService, CommandsAnswerByHowTheyEnded) {
  TServiceFixture f;
  struct TCase {
    const char* Path;
    THeaders Headers;
    const char* Body;
    int Status;
    const char* Error;
  };
  const THeaders json = JsonHeaders(kPassword);
  const TCase cases[] = {
      {"/api/commands/level", json, R"({"percent": 40})", 200, ""},
      {"/api/commands/level", json, R"({"percent": 400})", 400, "must be from 0 to 100"},
      {"/api/commands/level", json, R"({"percent": 40)", 400, "the body is not JSON"},
      {"/api/commands/level", json, R"({})", 400, "is required"},
      {"/api/commands/dance", json, "", 404, R"(there is no command "dance")"},
      {"/api/commands/refuse", json, "", 409, "nothing plays"},
      {"/api/commands/level", {{"Content-Type", "application/json"}}, R"({"percent": 9})", 401, "the password is needed"},
      {"/api/commands/level", {{"Content-Type", "application/json"}, BasicAuth("lamp-post-8")}, R"({"percent": 9})",
       401, "the password is wrong"},
      {"/api/commands/level", {{"Content-Type", "application/json"}, {"Authorization", "Bearer lamp-post-7"}},
       R"({"percent": 41})", 200, ""},
      {"/api/commands/level", {BasicAuth(kPassword)}, R"({"percent": 9})", 415, "the body must be sent as application/json"},
      {"/api/commands/level", {{"Content-Type", "application/json"}, BasicAuth(kPassword), {"Origin", "http://evil.example"}},
       R"({"percent": 9})", 403, "a request from another site's page is refused"},
  };
  for (const TCase& c : cases) {
    const THttpAnswer answer = Request(f.Port(), "POST", c.Path, c.Headers, c.Body);
    EXPECT_EQ(answer.Status, c.Status) << c.Path << " " << c.Body;
    const nlohmann::json body = answer.Json();
    EXPECT_EQ(body.value("error", ""), c.Error) << c.Path << " " << c.Body;
  }
  EXPECT_EQ(f.Level, 41) << "only the commands with the password ran";
  const THttpAnswer wrongPath = Request(f.Port(), "GET", "/api/commands/level?percent=3");
  EXPECT_EQ(wrongPath.Status, 404) << "a GET never runs a command";
  EXPECT_EQ(f.Level, 41);
}

TEST(ControlService, WrongPasswordsLockTheAddressOutForAWhile) {
  TServiceFixture f;
  const auto tryPassword = [&](const std::string& password) {
    return Request(f.Port(), "POST", "/api/commands/level", JsonHeaders(password), R"({"percent": 5})");
  };
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tryPassword("guess").Status, 401);
  EXPECT_EQ(tryPassword("guess").Status, 401) << "the fifth failure locks";
  const THttpAnswer locked = tryPassword(kPassword);
  EXPECT_EQ(locked.Status, 429) << "even the right password waits";
  EXPECT_EQ(locked.Headers.at("retry-after"), "30");
  f.Time.Seconds += 30;
  EXPECT_EQ(tryPassword("guess").Status, 401);
  EXPECT_EQ(tryPassword(kPassword).Headers.at("retry-after"), "60") << "each lockout doubles";
  f.Time.Seconds += 60;
  EXPECT_EQ(tryPassword(kPassword).Status, 200);
  EXPECT_EQ(tryPassword("guess").Status, 401) << "a good password clears the count";
}

TEST(ControlService, ASessionTokenStandsInForThePassword) {
  TServiceFixture f;
  const THttpAnswer session = Request(f.Port(), "POST", "/api/session", JsonHeaders(kPassword));
  ASSERT_EQ(session.Status, 200);
  const std::string token = session.Json()["token"];
  EXPECT_EQ(token.size(), 48u);
  const THttpAnswer answer = Request(f.Port(), "POST", "/api/commands/level",
                                     {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + token}},
                                     R"({"percent": 77})");
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(f.Level, 77);
}

TEST(ControlService, BodiesAndHeadersAreCapped) {
  TServiceOptions options;
  options.MaxBody = 1024;
  TServiceFixture f(options);
  const std::string big = R"({"percent": 1, "pad": ")" + std::string(2000, 'x') + "\"}";
  EXPECT_EQ(Request(f.Port(), "POST", "/api/commands/level", JsonHeaders(kPassword), big).Status, 413);

  // Declared small, sent without end as chunks: cut at the cap all the same.
  TTestSocket chunked(f.Port());
  std::string request = "POST /api/commands/level HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" +
                        BasicAuth(kPassword).first + ": " + BasicAuth(kPassword).second +
                        "\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 4; ++i) request += "200\r\n" + std::string(512, ' ') + "\r\n";
  chunked.Send(request);
  EXPECT_EQ(ReadAnswer(chunked).Status, 413);

  const std::string longHeader(20000, 'h');
  const THttpAnswer headers = Request(f.Port(), "GET", "/api/status", {{"X-Long", longHeader}});
  EXPECT_NE(headers.Status, 200) << "a head over 16 KiB is refused";
}

TEST(ControlService, ASlowRequestIsDropped) {
  TServiceOptions options;
  options.RequestTimeout = std::chrono::milliseconds(300);
  TServiceFixture f(options);
  TTestSocket slow(f.Port());
  slow.Send("GET /api/status HTTP/1.1\r\nHost: x\r\n");
  EXPECT_TRUE(slow.ClosedBy(std::chrono::seconds(10))) << "a head that never ends is not waited for";
  EXPECT_EQ(Request(f.Port(), "GET", "/api/status").Status, 200) << "others are served meanwhile";
}

std::size_t openDescriptors() {
  std::size_t count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (readdir(folder) != nullptr) ++count;
  closedir(folder);
  return count;
}

TEST(ControlService, ConnectionsComeAndGoWithoutGrowth) {
  TServiceFixture f;
  for (int i = 0; i < 200; ++i) TTestSocket warmUp(f.Port());
  const std::size_t before = openDescriptors();
  for (int i = 0; i < 10000; ++i) {
    TTestSocket socket(f.Port());
    ASSERT_TRUE(socket.Open()) << "connection " << i;
    if (i % 100 == 0) socket.Send(RequestText("GET", "/api/status", f.Port(), {}, ""));
  }
  EXPECT_EQ(Request(f.Port(), "GET", "/api/status").Status, 200);
  EXPECT_LE(openDescriptors(), before + 4) << "no descriptor is kept for a client gone";
}

TEST(ControlService, RoutesServeResourcesThroughCommands) {
  TServiceFixture f({}, {{"GET", "/api/calendar", "echo"}, {"PUT", "/api/calendar", "echo"}});
  const THttpAnswer read = Request(f.Port(), "GET", "/api/calendar?days=14");
  ASSERT_EQ(read.Status, 200);
  EXPECT_EQ(read.Json()["data"]["days"], 14) << "the query becomes typed arguments";
  EXPECT_EQ(Request(f.Port(), "GET", "/api/calendar?days=99").Status, 400);
  EXPECT_EQ(Request(f.Port(), "PUT", "/api/calendar", {{"Content-Type", "application/json"}}, R"({"days": 3})").Status, 401);
  const THttpAnswer write = Request(f.Port(), "PUT", "/api/calendar", JsonHeaders(kPassword), R"({"days": 3})");
  EXPECT_EQ(write.Json()["data"]["days"], 3);
}

TEST(ControlService, TheApiDocumentHasAPathForEveryCommand) {
  TServiceFixture f({}, {{"GET", "/api/calendar", "echo"}});
  const nlohmann::json document = Request(f.Port(), "GET", "/api/openapi.json").Json();
  EXPECT_EQ(document["openapi"], "3.0.3");
  for (const control::TCommandSpec& spec : f.Bus.Specs()) {
    const nlohmann::json& operation = document["paths"]["/api/commands/" + spec.Name]["post"];
    EXPECT_EQ(operation["operationId"], spec.Name);
    EXPECT_EQ(operation["requestBody"]["content"]["application/json"]["schema"], control::ArgumentsSchema(spec));
  }
  EXPECT_EQ(document["paths"]["/api/calendar"]["get"]["parameters"][0]["name"], "days");
  for (const char* path : {"/api/status", "/api/shows", "/api/commands", "/api/events", "/api/session"}) {
    EXPECT_TRUE(document["paths"].contains(path)) << path;
  }
}

}  // namespace
}  // namespace lumora::service
