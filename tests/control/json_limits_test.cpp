#include "control/json_limits.h"

#include <gtest/gtest.h>

namespace lumora::control {
namespace {

std::string nested(int levels, const char* inner = "1") {
  return std::string(static_cast<std::size_t>(levels), '[') + inner + std::string(static_cast<std::size_t>(levels), ']');
}

// Up to 64 levels of lists and objects are taken; one more is refused,
// however deep the rest goes, and nothing deeper is built.
TEST(JsonLimits, DepthIsBoundedWhereJsonComesIn) {
  struct TCase {
    std::string Text;
    const char* Fault;
    int Levels;
  };
  const TCase cases[] = {
      {"7", "", 0},
      {"{}", "", 1},
      {nested(64), "", 64},
      {R"({"a": )" + nested(63) + "}", "", 64},
      {nested(65), "nests deeper than 64 levels", 65},
      {R"({"a": )" + nested(64) + "}", "nests deeper than 64 levels", 65},
      {R"({"a": [1, 2, {"b": )" + nested(200000) + "}]}", "nests deeper than 64 levels", 200003},
      {"{\"a\": ", "is not JSON", 0},
      {"", "is not JSON", 0},
  };
  for (const TCase& c : cases) {
    std::string fault;
    const std::optional<nlohmann::json> value = ParseBoundedJson(c.Text, fault);
    EXPECT_EQ(fault, c.Fault) << c.Text.substr(0, 80);
    EXPECT_EQ(value.has_value(), std::string(c.Fault).empty()) << c.Text.substr(0, 80);
    if (value) {
      EXPECT_FALSE(NestsDeeperThan(*value, c.Levels)) << c.Text.substr(0, 80);
      EXPECT_EQ(NestsDeeperThan(*value, c.Levels - 1), c.Levels > 0) << c.Text.substr(0, 80);
    }
  }
}

}  // namespace
}  // namespace lumora::control
