// Starting patches load back and cover the movie, or every movie of a play
// list, without gaps or overlaps; the checker finds overlaps, unfilled and
// unsent channels and cells that reach no channel.
#include "output/patch_generator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "output/patch_checker.h"
#include "output_fixtures.h"

namespace lumora::output {
namespace {

TEST(PatchGenerator, LampPatchIsTheJsonAPersonEdits) {
  const std::string text = MakeStartingPatch(test::SmallMovie(), {TStartingSource::Lamps, TProtocol::ArtNet, "localhost"});
  EXPECT_EQ(text.substr(0, 31), "{\n  \"fixtures\": [\n    {\n      \"") << "indented for people";
  EXPECT_EQ(nlohmann::ordered_json::parse(text).dump(),
            R"({"fixtures":[)"
            R"({"name":"light strip of 5 lamps, layer 1, graphic 2","source":"lamps","layer":1,"graphic":2,)"
            R"("colours":"RGB","start":1,"brightness":100,"gamma":2.2},)"
            R"({"name":"LED matrix of 3 cells, layer 3, graphic 0","source":"lamps","layer":3,"graphic":0,)"
            R"("colours":"RGB","start":16,"brightness":100,"gamma":2.2}],)"
            R"("outputs":[{"protocol":"artnet","channels":[1,24],"universe":0,"universe_size":510,"host":"localhost"}],)"
            R"("blackout":true})");
}

TEST(PatchGenerator, EveryProtocolLoadsBackWithEveryChannelPatchedOnce) {
  TMovieShape movie = test::SmallMovie();
  // 64 × 32 cells after the small layers: the universes must not split a pixel.
  movie.GridLayers.push_back({32, 64});
  for (const TProtocol protocol : {TProtocol::Sacn, TProtocol::ArtNet, TProtocol::Ddp, TProtocol::Ola}) {
    const std::string host = protocol == TProtocol::Ddp ? "127.0.0.1" : "";
    const TChannelPatch patch =
        ParseChannelPatch(MakeStartingPatch(movie, {TStartingSource::Grid, protocol, host}), "gen", movie);
    ASSERT_EQ(patch.Fixtures.size(), 3u) << ProtocolName(protocol);
    EXPECT_EQ(patch.Fixtures[2].First, 90u);
    EXPECT_EQ(patch.ChannelCount, 90u + 3 * 32 * 64);
    ASSERT_EQ(patch.Outputs.size(), 1u);
    EXPECT_EQ(patch.Outputs[0].Protocol, protocol);
    EXPECT_EQ(patch.Outputs[0].Count, patch.ChannelCount);
    const TPatchCheck check = CheckChannelPatch(patch, movie);
    EXPECT_TRUE(check.Overlaps.empty() && check.Unfilled.empty() && check.Unsent.empty() && check.Uncarried.empty())
        << ProtocolName(protocol);
    EXPECT_EQ(patch.Fixtures[2].Name, "grid layer 2, 32 × 64 cells");
    EXPECT_EQ(patch.Fixtures[2].Gamma, 2.2) << "LED pixels";
    if (protocol != TProtocol::Ddp) {
      EXPECT_EQ(patch.Outputs[0].UniverseCount(), 13u);
    }
  }
}

// A play list of a vector movie and a grid movie whose grids differ: one
// fixture for what both have, as large as the largest, and one naming its
// movie for what only one has; every movie binds, and only what it has.
TEST(PatchGenerator, AListsPatchCoversEveryEntry) {
  TMovieShape a = test::SmallMovie();
  a.File = "a.ctl";
  TMovieShape b;
  b.GridLayers = {{8, 10}};
  b.LampGraphics = {{1, 2, "TPolyLine", 7, TLampKind::LightStrip}};
  b.Width = 300;
  b.Height = 200;
  b.File = "b.tol";
  const std::string grid = MakeStartingPatch({a, b}, {TStartingSource::Grid, TProtocol::Sacn, ""});
  EXPECT_EQ(nlohmann::ordered_json::parse(grid)["fixtures"].dump(),
            R"([{"name":"grid layer 0, up to 8 × 10 cells","source":"grid","layer":0,"colours":"RGB","start":1,)"
            R"("brightness":100,"gamma":2.2},)"
            R"({"name":"grid layer 1 of a.ctl, 2 × 3 cells","movie":"a.ctl","source":"grid","layer":1,)"
            R"("rows":[0,1],"columns":[0,2],"order":"rows","serpentine":false,"colours":"RGB","start":241,)"
            R"("brightness":100,"gamma":2.2}])");
  const TPatchDefinition definition = ParsePatchDefinition(grid, "list.patch");
  const TChannelPatch onA = BindChannelPatch(definition, a);
  const TChannelPatch onB = BindChannelPatch(definition, b);
  ASSERT_EQ(onA.Fixtures.size(), 2u);
  EXPECT_EQ(onA.Fixtures[0].ChannelCount(), 72u) << "every cell of a's 4 × 6";
  ASSERT_EQ(onB.Fixtures.size(), 1u) << "b has no grid layer 1";
  EXPECT_EQ(onB.Fixtures[0].ChannelCount(), 240u);
  EXPECT_EQ(onB.ChannelCount, 258u);
  EXPECT_TRUE(CheckChannelPatch(onA, a).Uncarried.empty());
  EXPECT_TRUE(CheckChannelPatch(onB, b).Uncarried.empty());

  const TPatchDefinition lamps =
      ParsePatchDefinition(MakeStartingPatch({a, b}, {TStartingSource::Lamps, TProtocol::Sacn, ""}), "lamps.patch");
  ASSERT_EQ(lamps.Fixtures.size(), 2u);
  EXPECT_EQ(lamps.Fixtures[0].Look.Name, "light strip of up to 7 lamps, layer 1, graphic 2");
  EXPECT_EQ(lamps.Fixtures[1].Look.Name, "LED matrix of 3 cells, layer 3, graphic 0 of a.ctl");
  EXPECT_EQ(lamps.Fixtures[1].Look.First, 21u);
  EXPECT_EQ(BindChannelPatch(lamps, a).Fixtures.size(), 2u);
  EXPECT_EQ(BindChannelPatch(lamps, b).Fixtures.size(), 1u);
}

TEST(PatchGenerator, RefusesWhatCannotWork) {
  TMovieShape empty;
  const struct {
    TMovieShape Movie;
    TStartingPatchOptions Options;
    std::string Error;
  } cases[] = {
      {test::SmallMovie(), {TStartingSource::Grid, TProtocol::Ddp, ""},
       "starting patch: DDP sends to one controller: name its host"},
      {test::SmallMovie(), {TStartingSource::Grid, TProtocol::Ola, "10.0.0.1"},
       "starting patch: OLA runs on this machine: it takes no host"},
      {empty, {TStartingSource::Lamps, TProtocol::Sacn, ""}, "starting patch: the movie has no lamps"},
      {empty, {TStartingSource::Grid, TProtocol::Sacn, ""}, "starting patch: the movie has no grid cells"},
      {TMovieShape{{{4096, 4096}}, {}, 1, 1, ""}, {TStartingSource::Grid, TProtocol::ArtNet, ""},
       "starting patch: the movie needs 50331648 channels, more than 16777216"},
      {TMovieShape{{{2048, 2728}}, {}, 1, 1, ""}, {TStartingSource::Grid, TProtocol::ArtNet, ""},
       "starting patch: the movie needs 32865 universes, more than Art-Net has"},
  };
  for (const auto& c : cases) {
    try {
      MakeStartingPatch(c.Movie, c.Options);
      ADD_FAILURE() << c.Error;
    } catch (const EPatchError& e) {
      EXPECT_EQ(e.what(), c.Error);
    }
  }
}

TEST(PatchChecker, ListsOverlapsAndChannelsLeftOut) {
  const TChannelPatch patch = ParseChannelPatch(R"({"fixtures": [
      {"name": "a", "source": "grid", "layer": 0, "rows": [0, 0], "start": 1},
      {"source": "grid", "layer": 1, "start": 10},
      {"name": "c", "source": "lamps", "layer": 3, "graphic": 0, "colours": "intensity", "start": 100}],
    "outputs": [{"protocol": "sacn", "channels": [1, 30]}, {"protocol": "ola", "channels": [95, 100]}]})",
                                                "check", test::SmallMovie());
  EXPECT_EQ(DescribePatchCheck(patch, CheckChannelPatch(patch, test::SmallMovie())),
            "channels 10–18: fixtures[0] \"a\" and fixtures[1] overlap; fixtures[1] wins\n"
            "channels 28–30: sent, but no fixture fills them\n"
            "channels 95–99: sent, but no fixture fills them\n"
            "channels 101–102: filled, but no output sends them\n"
            "grid layer 0: 18 of 24 cells reach no channel sent, the first at row 1, column 0\n");
  TChannelPatch clean = patch;
  clean.Fixtures.resize(1);
  clean.Outputs[0].Count = 18;
  clean.Outputs.resize(1);
  EXPECT_EQ(DescribePatchCheck(clean, CheckChannelPatch(clean, test::SmallMovie())),
            "no overlaps; every channel sent is filled and every channel filled is sent\n"
            "grid layer 0: 18 of 24 cells reach no channel sent, the first at row 1, column 0\n"
            "grid layer 1: 6 of 6 cells reach no channel sent, the first at row 0, column 0\n");
}

}  // namespace
}  // namespace lumora::output
