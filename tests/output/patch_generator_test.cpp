// Starting patches load back and cover the movie without gaps or overlaps;
// the checker finds overlaps, unfilled and unsent channels.
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
            R"({"name":"TLightStrip 2 on layer 1","source":"lamps","layer":1,"graphic":2,"colours":"RGB","start":1,)"
            R"("brightness":100,"gamma":1.0},)"
            R"({"name":"TLedBar 0 on layer 3","source":"lamps","layer":3,"graphic":0,"colours":"RGB","start":16,)"
            R"("brightness":100,"gamma":1.0}],)"
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
    const TPatchCheck check = CheckChannelPatch(patch);
    EXPECT_TRUE(check.Overlaps.empty() && check.Unfilled.empty() && check.Unsent.empty()) << ProtocolName(protocol);
    if (protocol != TProtocol::Ddp) {
      EXPECT_EQ(patch.Outputs[0].UniverseCount(), 13u);
    }
  }
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
      {TMovieShape{{{4096, 4096}}, {}, 1, 1}, {TStartingSource::Grid, TProtocol::ArtNet, ""},
       "starting patch: the movie needs 50331648 channels, more than 16777216"},
      {TMovieShape{{{2048, 2728}}, {}, 1, 1}, {TStartingSource::Grid, TProtocol::ArtNet, ""},
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
  EXPECT_EQ(DescribePatchCheck(patch, CheckChannelPatch(patch)),
            "channels 10–18: fixtures[0] \"a\" and fixtures[1] overlap; fixtures[1] wins\n"
            "channels 28–30: sent, but no fixture fills them\n"
            "channels 95–99: sent, but no fixture fills them\n"
            "channels 101–102: filled, but no output sends them\n");
  TChannelPatch clean = patch;
  clean.Fixtures.resize(1);
  clean.Outputs[0].Count = 18;
  clean.Outputs.resize(1);
  EXPECT_EQ(DescribePatchCheck(clean, CheckChannelPatch(clean)),
            "no overlaps; every channel sent is filled and every channel filled is sent\n");
}

}  // namespace
}  // namespace lumora::output
