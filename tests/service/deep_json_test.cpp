// Bodies and WebSocket messages nested deeper than the service takes are
// refused, rather than copied on a recursion that takes the stack.
#include <gtest/gtest.h>

#include "service_fixture.h"
#include "http_client.h"

namespace lumora::service {
namespace {

using namespace testing;

TEST(ControlService, ABodyNestedTooDeeplyIsRefusedAndTheServiceLivesOn) {
  TServiceFixture f;
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const THttpAnswer answer =
      Request(f.Port(), "POST", "/api/commands/level", JsonHeaders(kPassword), R"({"percent": )" + deep + "}");
  EXPECT_EQ(answer.Status, 400);
  EXPECT_EQ(answer.Json()["error"], "the body nests deeper than 64 levels");
  EXPECT_EQ(Request(f.Port(), "POST", "/api/commands/level", JsonHeaders(kPassword), R"({"percent": 40})").Status, 200);
  EXPECT_EQ(f.Level, 40);
}

}  // namespace
}  // namespace lumora::service
