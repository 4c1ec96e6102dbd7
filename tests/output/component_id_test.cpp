// The sACN CID: random version-4 UUIDs, kept in settings as text and read
// back exactly; anything else in the settings is refused.
#include "output/component_id.h"

#include <gtest/gtest.h>

namespace lumora::output {
namespace {

TEST(ComponentId, NewIdsAreVersion4AndSurviveTheirTextForm) {
  const TComponentId a = NewComponentId();
  EXPECT_NE(a, NewComponentId());
  EXPECT_EQ(a[6] >> 4, 4) << "version 4";
  EXPECT_EQ(a[8] >> 6, 2) << "RFC 4122 variant";
  EXPECT_EQ(ParseComponentId(FormatComponentId(a)), a);
  const TComponentId known = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0x4d, 0xef, 0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xff};
  EXPECT_EQ(FormatComponentId(known), "12345678-9abc-4def-8001-0203040506ff");
  EXPECT_EQ(ParseComponentId("12345678-9ABC-4DEF-8001-0203040506FF"), known);
  for (const char* bad : {"", "12345678-9abc-4def-8001-0203040506f", "12345678-9abc-4def-8001-0203040506fg",
                          "123456789-abc-4def-8001-0203040506ff", "12345678-9abc-4def-8001-0203040506ff0"}) {
    EXPECT_EQ(ParseComponentId(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace lumora::output
