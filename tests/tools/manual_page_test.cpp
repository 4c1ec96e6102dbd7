// The manual pages as a reader sees them: a NAME line that says what the
// program does, the sections a page is looked up for, examples one a line,
// and nothing that turns to "???" in the C locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/program_run.h"

namespace lumora {
namespace {

bool hasLine(const std::string& page, const std::string& line) {
  return page.find("\n" + line + "\n") != std::string::npos;
}

TEST(ManualPages, EveryPageHasItsSectionsAndReadsInAnyLocale) {
  for (const char* name : {"lumora.1", "lumora-play.1", "lumora-render.1", "lumora-info.1", "lumora-patch.1",
                           "lumora-raster-demo.1", "lumora-patch.5"}) {
    const std::string page = test::ReadText(std::string(LUMORA_MAN_DIR) + "/" + name);
    ASSERT_FALSE(page.empty()) << name;
    const std::size_t nameAt = page.find("\n.SH NAME\n");
    ASSERT_NE(nameAt, std::string::npos) << name;
    const std::string nameLine = page.substr(nameAt + 10, page.find('\n', nameAt + 10) - nameAt - 10);
    EXPECT_EQ(nameLine.find("manual page for"), std::string::npos) << name << ": " << nameLine;
    EXPECT_NE(nameLine.find(" \\- "), std::string::npos) << name << ": " << nameLine;
    EXPECT_TRUE(std::all_of(page.begin(), page.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << name << ": every character past ASCII is written as a groff escape";
    if (std::string(name).ends_with(".5")) continue;
    for (const char* section : {".SH FILES", ".SH \"EXIT STATUS\"", ".SH \"SEE ALSO\""}) {
      EXPECT_TRUE(hasLine(page, section)) << name << " lacks " << section;
    }
    const std::size_t examples = page.find("\n.SH EXAMPLES\n");
    if (examples != std::string::npos) {
      EXPECT_EQ(page.compare(examples + 14, 4, ".nf\n"), 0) << name << ": examples keep their lines";
    }
  }
  const std::string player = test::ReadText(std::string(LUMORA_MAN_DIR) + "/lumora.1");
  EXPECT_EQ(player.find("beside the program"), std::string::npos) << "entries are looked up beside the list first";
}

}  // namespace
}  // namespace lumora
