// lumora-patch on a play list: the patch it writes covers every entry, and
// its check names the entries a patch cannot drive and the cells no channel
// carries. A second start of the player with a patch is refused.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "io/private_directory.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"
#include "tools/demo_show.h"

namespace lumora {
namespace {

// The demo's kind of list: a vector movie whose grid is one row of 16
// cells, then two 18 × 32 grid movies.
std::string writeDemoList(const test::TPlayerDir& dir) {
  dir.Write("neon.ctl", DemoNeonMovie());
  dir.Write("waves.tol", DemoWavesGrid()->SaveToTol());
  dir.Write("rings.cot", DemoRingsGrid()->SaveToCot());
  return dir.WriteText("show.lst", "neon.ctl\nwaves.tol\nrings.cot\n");
}

test::TProgramRun patchTool(const test::TPlayerDir& dir, const std::string& args) {
  return test::RunProgram(std::string(LUMORA_PATCH_PROGRAM) + " " + args, dir.Path("run"));
}

TEST(LumoraPatch, AListsPatchCoversEveryEntry) {
  test::TPlayerDir dir("patch_list");
  const std::string list = writeDemoList(dir);
  const test::TProgramRun made = patchTool(dir, list + " --host 127.0.0.1");
  ASSERT_EQ(made.Status, 0) << made.Errors;
  const nlohmann::json patch = nlohmann::json::parse(made.Out);
  ASSERT_EQ(patch["fixtures"].size(), 1u);
  EXPECT_EQ(patch["fixtures"][0]["name"], "grid layer 0, up to 18 × 32 cells");
  EXPECT_FALSE(patch["fixtures"][0].contains("rows")) << "every cell of whichever movie plays";
  EXPECT_EQ(patch["fixtures"][0]["gamma"], 2.2);
  EXPECT_EQ(patch["outputs"][0]["channels"], nlohmann::json({1, 1728}));

  const std::string written = dir.WriteText("grid.json", made.Out);
  const test::TProgramRun checked = patchTool(dir, "--check " + written + " " + list);
  EXPECT_EQ(checked.Status, 0) << checked.Errors;
  EXPECT_EQ(checked.Out,
            "neon.ctl:\n"
            "  channels 49–1728: sent, but no fixture fills them\n"
            "waves.tol:\n"
            "  no overlaps; every channel sent is filled and every channel filled is sent\n"
            "rings.cot:\n"
            "  no overlaps; every channel sent is filled and every channel filled is sent\n");
}

// The patch for the first entry alone: 16 cells of the grid movies' 576
// reach a channel, and a lamps patch drives one entry of three.
TEST(LumoraPatch, TheCheckOfAListNamesWhatThePatchLeavesOut) {
  test::TPlayerDir dir("patch_check");
  const std::string list = writeDemoList(dir);
  const std::string first = dir.WriteText("first.json", R"({"fixtures": [{"source": "grid", "layer": 0,
      "rows": [0, 0], "columns": [0, 15], "start": 1}], "outputs": [{"protocol": "sacn", "channels": [1, 48]}]})");
  const test::TProgramRun cells = patchTool(dir, "--check " + first + " " + list);
  EXPECT_EQ(cells.Status, 0) << cells.Errors;
  EXPECT_NE(cells.Out.find("waves.tol:\n"
                           "  no overlaps; every channel sent is filled and every channel filled is sent\n"
                           "  grid layer 0: 560 of 576 cells reach no channel sent, the first at row 0, column 16\n"),
            std::string::npos)
      << cells.Out;

  const test::TProgramRun lampsMade = patchTool(dir, dir.Path("neon.ctl") + " --lamps");
  ASSERT_EQ(lampsMade.Status, 0) << lampsMade.Errors;
  const std::string lamps = dir.WriteText("lamps.json", lampsMade.Out);
  const test::TProgramRun lampsChecked = patchTool(dir, "--check " + lamps + " " + list);
  EXPECT_EQ(lampsChecked.Status, 1);
  EXPECT_NE(lampsChecked.Out.find("rings.cot:\n  cannot drive it: " + lamps +
                                  ": fixtures[0].graphic: layer 2 has no graphic 0 with lamps\n"),
            std::string::npos)
      << lampsChecked.Out;
  EXPECT_EQ(lampsChecked.Errors, "lumora-patch: the patch cannot drive 2 of the 3 movies\n");
}

#ifdef LUMORA_PLAYER_PROGRAM
// While a player runs (it holds the instance lock), a start with a patch
// hands nothing over and says why.
TEST(Lumora, ASecondStartWithAPatchIsRefused) {
  test::TPlayerDir dir("second_patch");
  const int lock = ::open((MakePrivateDirectory() + "instance.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  const std::string patch = dir.WriteText("p.json", R"({"outputs": []})");
  const std::string movie = dir.Write("a.tol", test::tolBytes(1, 1, 4, 4, 3));
  const test::TProgramRun second =
      test::RunProgram(std::string(LUMORA_PLAYER_PROGRAM) + " --patch " + patch + " " + movie, dir.Path("run"));
  EXPECT_EQ(second.Status, 1);
  EXPECT_NE(second.Errors.find("lumora: --patch is refused: a player is running already and keeps its own lamps; "
                                "nothing was handed over (close it, then start again with --patch)\n"),
            std::string::npos)
      << second.Errors;
  ::close(lock);
}
#endif

}  // namespace
}  // namespace lumora
