// Reading patches: every kind of bad patch fails with the exact message a
// lighting person sees, and a good one reads back as written.
#include "output/channel_patch.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "output_fixtures.h"

namespace lumora::output {
namespace {

using test::PatchErrorOf;

std::string withFixture(const std::string& fixture) { return R"({"fixtures": [)" + fixture + "]}"; }
std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string withOutput(const std::string& output) { return R"({"outputs": [)" + output + "]}"; }

TEST(ChannelPatch, BadPatchesNameTheFileThePlaceAndTheFault) {
  const std::string grid = R"("source": "grid", "layer": 0, "start": 1)";
  const std::string sacn = R"("protocol": "sacn", "channels": [1, 1020])";
  const std::string deep = R"({"fixtures": )" + std::string(40, '[') + std::string(40, ']') + "}";
  const struct {
    std::string Patch;
    std::string Error;
  } cases[] = {
      {"{", "show.patch: not JSON: parse error at line 1, column 2: syntax error while parsing object key - unexpected "
            "end of input; expected string literal"},
      {"1e999", "show.patch: not JSON: number overflow parsing '1e999'"},
      {"[]", "show.patch: (top): must be an object {…}"},
      {R"({"fixture": []})", "show.patch: fixture: unknown key"},
      {deep, "show.patch: fixtures" + repeated("[0]", 32) + ": nested deeper than 32 levels"},
      {withFixture("{" + grid + R"(, "colour": "RGB"})"), "show.patch: fixtures[0].colour: unknown key"},
      {withFixture(R"({"source": "grid", "source": "lamps"})"), "show.patch: fixtures[0].source: given twice"},
      {withFixture(R"({"source": "video", "start": 1})"),
       R"(show.patch: fixtures[0].source: unknown source "video" (grid, pixels or lamps))"},
      {withFixture("{" + grid + R"(, "colours": "RGBW"})"),
       R"(show.patch: fixtures[0].colours: unknown colours "RGBW" (RGB, RBG, GRB, GBR, BRG, BGR or intensity))"},
      {withFixture(R"({"source": "grid", "layer": 2, "start": 1})"),
       "show.patch: fixtures[0].layer: the movie has no grid layer 2 (it has 2)"},
      {withFixture("{" + grid + R"(, "rows": [0, 4]})"),
       "show.patch: fixtures[0].rows[1]: must be a whole number from 0 to 3"},
      {withFixture("{" + grid + R"(, "columns": [3, 1]})"),
       "show.patch: fixtures[0].columns: the last (1) comes before the first (3)"},
      {withFixture("{" + grid + R"(, "order": "diagonal"})"),
       R"(show.patch: fixtures[0].order: unknown order "diagonal" (rows or columns))"},
      {withFixture(R"({"source": "lamps", "layer": 1, "graphic": 3, "start": 1})"),
       "show.patch: fixtures[0].graphic: layer 1 has no graphic 3 with lamps"},
      {withFixture(R"({"source": "pixels", "points": [[0, 0], [200, 5]], "start": 1})"),
       "show.patch: fixtures[0].points[1]: point (200, 5) lies outside the movie's 200 × 100 pixels"},
      {withFixture(R"({"source": "pixels", "points": [[0, 0]], "line": {}, "start": 1})"),
       R"(show.patch: fixtures[0]: pixels need exactly one of "points", "line" or "rectangle")"},
      {withFixture(R"({"source": "pixels", "line": {"from": [0, 0], "to": [9, 0], "count": 0}, "start": 1})"),
       "show.patch: fixtures[0].line.count: must be a whole number from 1 to 16777216"},
      {withFixture(R"({"source": "grid", "layer": 0, "start": 0})"),
       "show.patch: fixtures[0].start: must be a whole number from 1 to 16777216"},
      {withFixture(R"({"source": "grid", "layer": 0, "start": "1"})"),
       "show.patch: fixtures[0].start: must be a whole number from 1 to 16777216"},
      {withFixture(R"({"source": "grid", "layer": 0, "start": 16777200})"),
       "show.patch: fixtures[0].start: its 72 channels run past channel 16777216"},
      {withFixture("{" + grid + R"(, "brightness": 101})"),
       "show.patch: fixtures[0].brightness: must be a number from 0 to 100"},
      {withFixture("{" + grid + R"(, "gamma": 0})"), "show.patch: fixtures[0].gamma: must be a number from 0.1 to 10"},
      {withOutput(R"({"protocol": "kinet", "channels": [1, 3]})"),
       R"(show.patch: outputs[0].protocol: unknown protocol "kinet" (sacn, artnet, ddp or ola))"},
      {withOutput("{" + sacn + R"(, "universe": 0})"),
       "show.patch: outputs[0].universe: must be a whole number from 1 to 63999"},
      {withOutput("{" + sacn + R"(, "universe": 63999})"),
       "show.patch: outputs[0].universe: its 2 universes from 63999 run past universe 63999"},
      {withOutput(R"({"protocol": "artnet", "channels": [1, 3], "universe": 32768})"),
       "show.patch: outputs[0].universe: must be a whole number from 0 to 32767"},
      {withOutput(R"({"protocol": "artnet", "channels": [1, 16777216]})"),
       "show.patch: outputs[0].channels: its 32897 universes from 0 run past port-address 32767"},
      {withOutput(R"({"protocol": "sacn", "channels": [1, 16777217]})"),
       "show.patch: outputs[0].channels[1]: must be a whole number from 1 to 16777216"},
      {withOutput("{" + sacn + R"(, "universe_size": 513})"),
       "show.patch: outputs[0].universe_size: must be a whole number from 1 to 512"},
      {withOutput("{" + sacn + R"(, "host": "bad..name"})"),
       R"(show.patch: outputs[0].host: "bad..name" does not resolve: Name or service not known)"},
      {withOutput("{" + sacn + R"(, "sync_universe": 7})"),
       R"(show.patch: outputs[0].sync_universe: needs "sync": true)"},
      {withOutput("{" + sacn + R"(, "port": 0})"), "show.patch: outputs[0].port: must be a whole number from 1 to 65535"},
      {withOutput(R"({"protocol": "ddp", "channels": [1, 3]})"), "show.patch: outputs[0].host: missing"},
      {withOutput(R"({"protocol": "ola", "channels": [1, 3], "host": "localhost"})"),
       "show.patch: outputs[0].host: unknown key"},
      {withOutput("{" + sacn + R"(, "host": "0.0.0.0"})"),
       R"(show.patch: outputs[0].host: "0.0.0.0" is no destination; leave "host" out to multicast to each )"
       R"(universe's group)"},
      {withOutput(R"({"protocol": "artnet", "channels": [1, 3], "host": "0"})"),
       R"(show.patch: outputs[0].host: "0" (0.0.0.0) is no destination; leave "host" out to broadcast)"},
      {withOutput(R"({"protocol": "ddp", "channels": [1, 3], "host": "0.0.0.0"})"),
       R"(show.patch: outputs[0].host: "0.0.0.0" is no destination; name the controller's address)"},
      {withFixture("{" + grid + R"(, "movie": "shows/a.ctl"})"),
       "show.patch: fixtures[0].movie: must be the file name of a movie, without a folder"},
      {withFixture("{" + grid + R"(, "movie": 1})"), "show.patch: fixtures[0].movie: must be a string"},
      {withFixture(repeated("{},", 65536) + "{}"), "show.patch: fixtures: more than 65536 fixtures"},
      {withOutput(repeated("{},", 512) + "{}"), "show.patch: outputs: more than 512 outputs"},
      {R"({"fixtures": [)" + repeated("0,", 1048576) + "0]}",
       "show.patch: fixtures[1048573]: the patch holds more than 1048576 values"},
  };
  for (const auto& c : cases) EXPECT_EQ(PatchErrorOf(c.Patch), c.Error) << c.Patch;
}

// Keys are checked for repeats as they come: a fixture of 100,000 keys is
// read, then refused for its first unknown one; a repeat at the end of them
// is named by its place.
TEST(ChannelPatch, ManyKeysAreCheckedOnceEach) {
  std::string keys;
  for (int k = 0; k < 100000; ++k) keys += R"(, "k)" + std::to_string(k) + R"(": 0)";
  const std::string fixture = R"({"source": "grid", "layer": 0, "start": 1)" + keys;
  EXPECT_EQ(PatchErrorOf(withFixture(fixture + "}")), "show.patch: fixtures[0].k0: unknown key");
  EXPECT_EQ(PatchErrorOf(withFixture(fixture + R"(, "k99999": 1})")), "show.patch: fixtures[0].k99999: given twice");
}

// A fixture naming a movie lights that movie only: on any other its cells
// are not even checked.
TEST(ChannelPatch, AFixtureNamingAMovieIsBoundToThatMovieOnly) {
  const TPatchDefinition patch = ParsePatchDefinition(R"({"fixtures": [
      {"source": "grid", "layer": 0, "start": 1},
      {"source": "grid", "layer": 5, "movie": "other.tol", "start": 100}]})",
                                                      "movies.patch");
  TMovieShape movie = test::SmallMovie();
  movie.File = "show.ctl";
  EXPECT_EQ(BindChannelPatch(patch, movie).Fixtures.size(), 1u);
  movie.File = "other.tol";
  try {
    BindChannelPatch(patch, movie);
    ADD_FAILURE() << "bound a missing grid layer";
  } catch (const EPatchError& e) {
    EXPECT_STREQ(e.what(), "movies.patch: fixtures[1].layer: the movie has no grid layer 5 (it has 2)");
  }
}

TEST(ChannelPatch, FilesTooLargeOrMissingAreRefusedUnread) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "lumora_patch_test";
  std::filesystem::create_directories(folder);
  const std::string large = (folder / "large.patch").string();
  std::ofstream(large).put('{');
  std::filesystem::resize_file(large, kMaxPatchBytes + 1);
  const std::string missing = (folder / "missing.patch").string();
  for (const auto& [path, error] : {std::pair{large, large + ": the patch is larger than 16 MiB"},
                                    std::pair{missing, missing + ": cannot read the patch: No such file or directory"}}) {
    try {
      LoadChannelPatch(path, test::SmallMovie());
      ADD_FAILURE() << path << " loaded";
    } catch (const EPatchError& e) {
      EXPECT_EQ(e.what(), error);
    }
  }
  std::filesystem::remove_all(folder);
}

TEST(ChannelPatch, AGoodPatchReadsBackAsWritten) {
  const TChannelPatch patch = ParseChannelPatch(R"({
    "fixtures": [
      {"name": "wall", "source": "grid", "layer": 1, "colours": "GRB", "start": 10, "gamma": 2.2, "brightness": 50},
      {"source": "lamps", "layer": 3, "graphic": 0, "colours": "intensity", "start": 100},
      {"source": "pixels", "line": {"from": [0, 0], "to": [9, 3], "count": 4}, "start": 200}
    ],
    "outputs": [
      {"protocol": "sacn", "channels": [1, 1100], "universe": 7, "host": "localhost", "port": 6000, "sync": true},
      {"protocol": "artnet", "channels": [1, 3], "universe_size": 2},
      {"protocol": "ddp", "channels": [5, 5], "host": "127.0.0.1", "offset": 30},
      {"protocol": "ola", "channels": [1, 512]}
    ],
    "blackout": false})",
                                                "show.patch", test::SmallMovie());
  ASSERT_EQ(patch.Fixtures.size(), 3u);
  EXPECT_EQ(patch.Fixtures[0].Name, "wall");
  EXPECT_EQ(patch.Fixtures[0].First, 9u);
  EXPECT_EQ(patch.Fixtures[0].ChannelCount(), 18u);
  EXPECT_EQ(patch.Fixtures[0].Colours, TColourOrder::GRB);
  EXPECT_EQ(patch.Fixtures[1].ChannelCount(), 3u);
  EXPECT_EQ(patch.Fixtures[2].Samples, (TPoints{{0, 0}, {3, 1}, {6, 2}, {9, 3}}));
  ASSERT_EQ(patch.Outputs.size(), 4u);
  const TOutputRoute& sacn = patch.Outputs[0];
  EXPECT_EQ(sacn.Address, 0x7F000001u);
  EXPECT_EQ(patch.Outputs[0].Host, "localhost");
  EXPECT_EQ(sacn.Port, 6000);
  EXPECT_EQ(sacn.UniverseCount(), 3u);
  EXPECT_EQ(sacn.SyncUniverse, 7);
  EXPECT_EQ(patch.Outputs[1].Universe, 0u);
  EXPECT_EQ(patch.Outputs[1].UniverseCount(), 2u);
  EXPECT_EQ(patch.Outputs[1].Address, std::nullopt) << "no host: broadcast";
  EXPECT_EQ(patch.Outputs[2].DdpOffset, 30u);
  EXPECT_EQ(patch.Outputs[3].Port, 9010);
  EXPECT_FALSE(patch.Blackout);
  EXPECT_EQ(patch.ChannelCount, 1100u);
}

}  // namespace
}  // namespace lumora::output
