// The schedule's resources as a client reaches them: a control room with
// its schedule served on 127.0.0.1, the commands run on an engine thread
// of the test's, the schedule's clock in the test's hands.
#include <gtest/gtest.h>

#include "app/show_control_room.h"
#include "schedule/schedule_commands.h"
#include "service/http_client.h"
#include "service/service_fixture.h"
#include "show/headless_show.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"
#include "../schedule/fake_player.h"

namespace lumora {
namespace {

using namespace service::testing;
using nlohmann::json;

struct TServedSchedule {
  test::TPlayerDir Dir{"schedule_routes"};
  THeadlessShow Show{640, 480};
  std::unique_ptr<TShowControlRoom> Room;
  std::unique_ptr<TEngineThread> Engine;
  std::uint16_t Port = 0;

  TServedSchedule() {
    Dir.Write("c.tol", test::tolBytes(1, 2, 4, 4, 300));
    Dir.WriteText("schedule.json", R"({"entries": [{"play": "c.tol", "start": "18:00", "end": "18:05"}]})");
    control::TControllerOptions options;
    options.ShowFolder = Dir.Path("");
    Room = std::make_unique<TShowControlRoom>(Show.Engine, options, "1");
    schedule::TScheduleRunnerOptions scheduled;
    scheduled.File = Dir.Path("schedule.json");
    scheduled.TimeZone = "UTC";
    scheduled.Clock = [] { return schedule::test::At("UTC", "2024-06-01 12:00:00"); };
    Room->RunSchedule(scheduled);
    Engine = std::make_unique<TEngineThread>(Room->Bus);
    TControlServiceOptions served;
    served.Listen = "127.0.0.1:0";
    served.PasswordHash = PasswordHash();
    const std::string url = Room->Serve(served).first;
    Port = static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
  }
  ~TServedSchedule() {
    Room->Shutdown();
    Engine.reset();
  }
  THttpAnswer Put(const std::string& body, bool withPassword = true) {
    return Request(Port, "PUT", "/api/schedule",
                   withPassword ? JsonHeaders(kPassword) : THeaders{{"Content-Type", "application/json"}}, body);
  }
};

TEST(ScheduleRoutes, TheScheduleIsReadAndReplacedOverHttp) {
  TServedSchedule served;
  const THttpAnswer read = Request(served.Port, "GET", "/api/schedule");
  ASSERT_EQ(read.Status, 200) << read.Body;
  EXPECT_EQ(read.Json()["data"]["entries"][0]["play"], "c.tol");
  EXPECT_EQ(Request(served.Port, "GET", "/api/status").Json()["schedule"]["next"]["start"], "2024-06-01T18:00:00+00:00");

  EXPECT_EQ(served.Put(R"({"entries": []})", false).Status, 401);
  const THttpAnswer wrong = served.Put(R"({"entries": [{"play": "c.tol", "start": "18:00", "end": "late"}]})");
  EXPECT_EQ(wrong.Status, 400);
  EXPECT_EQ(wrong.Json()["argument"], "entries");
  EXPECT_TRUE(wrong.Json()["error"].get<std::string>().starts_with("entries[0].end: \"late\" is neither")) << wrong.Body;

  const THttpAnswer put = served.Put(R"({"entries": [{"play": "c.tol", "start": "20:00", "end": "21:00", "name": "Late"}]})");
  ASSERT_EQ(put.Status, 200) << put.Body;
  EXPECT_EQ(json::parse(test::ReadText(served.Dir.Path("schedule.json"))), put.Json()["data"]);
  EXPECT_EQ(Request(served.Port, "GET", "/api/schedule").Json()["data"]["entries"][0]["name"], "Late");
  EXPECT_EQ(Request(served.Port, "GET", "/api/status").Json()["schedule"]["next"]["start"], "2024-06-01T20:00:00+00:00");
}

TEST(ScheduleRoutes, TheRangeTakesItsDaysFromTheQuery) {
  TServedSchedule served;
  const THttpAnswer range = Request(served.Port, "GET", "/api/schedule/range?days=14");
  ASSERT_EQ(range.Status, 200) << range.Body;
  EXPECT_EQ(range.Json()["data"]["items"].size(), 14u);
  EXPECT_EQ(range.Json()["data"]["to"], "2024-06-15T00:00:00+00:00");
  EXPECT_EQ(Request(served.Port, "GET", "/api/schedule/range").Json()["data"]["items"].size(), 14u);
  EXPECT_EQ(Request(served.Port, "GET", "/api/schedule/range?days=3").Json()["data"]["items"].size(), 3u);
  EXPECT_EQ(Request(served.Port, "GET", "/api/schedule/range?days=99").Status, 400);
  EXPECT_EQ(Request(served.Port, "GET", "/api/schedule/range?days=many").Status, 400);
}

TEST(ScheduleRoutes, TheApiDocumentDescribesTheSchedulesResources) {
  TServedSchedule served;
  const json document = Request(served.Port, "GET", "/api/openapi.json").Json();
  EXPECT_EQ(document["paths"]["/api/schedule"]["get"]["operationId"], "get-schedule-get");
  EXPECT_EQ(document["paths"]["/api/schedule"]["put"]["requestBody"]["content"]["application/json"]["schema"],
            control::ArgumentsSchema(schedule::ScheduleCommandSpec("schedule-put")));
  EXPECT_EQ(document["paths"]["/api/schedule/range"]["get"]["parameters"][0]["name"], "days");
  for (const control::TCommandSpec& spec : schedule::ScheduleCommandSpecs()) {
    EXPECT_TRUE(document["paths"].contains("/api/commands/" + spec.Name)) << spec.Name;
  }
}

}  // namespace
}  // namespace lumora
