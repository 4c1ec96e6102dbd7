// The show engine's frames through the light outputs: the lamps a movie
// offers, every entry of a play list read through a patch read once, as a
// real sACN receiver on the loopback address sees it and as a light
// sequence read back by the tests' own reader.
#include "output/show_output.h"

#include <dlfcn.h>
#include <netdb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>

#include "output/channel_patch.h"
#include "output/fseq_reader.h"
#include "output/output_fixtures.h"
#include "output/patch_generator.h"
#include "output/show_sequence.h"
#include "show/headless_show.h"
#include "support/show_fixtures.h"
#include "tools/demo_show.h"

namespace {

std::atomic<std::uint64_t> gHostLookups = 0;

}  // namespace

// Every host lookup of this test program is counted, then passed on.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** found) {
  using TResolver = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto real = reinterpret_cast<TResolver>(dlsym(RTLD_NEXT, "getaddrinfo"));
  ++gHostLookups;
  return real(node, service, hints, found);
}

namespace lumora::output {
namespace {

TEST(ShowOutput, EveryLampOfTheDemoMovieHasACentreOnTheFrame) {
  lumora::test::TPlayerDir dir("lamps");
  THeadlessShow show(1920, 1080);
  show.Engine.LoadMovie(dir.Write("neon.ctl", DemoNeonMovie()));
  show.Engine.DrawFrame(5);
  const TMovieShape shape = MovieShapeOf(show.Engine);
  std::map<std::string, std::int32_t> lamps;
  TShowFrameView view(show.Engine);
  const TBitmap32& frame = show.Engine.FrameBitmap();
  for (const TLampGraphicShape& g : shape.LampGraphics) {
    lamps[g.ClassName] += g.LampCount;
    TPoints centres;
    view.LampCentres(g.Layer, g.Graphic, centres);
    ASSERT_EQ(centres.size(), static_cast<std::size_t>(g.LampCount)) << g.ClassName;
    for (const TPoint& p : centres) EXPECT_TRUE(PtInRect(frame.BoundsRect(), p)) << g.ClassName;
  }
  EXPECT_EQ(lamps["TLightGraphic"], 1) << "a swinging light is one lamp";
  EXPECT_GT(lamps["TLEDGraphic"], 1) << "an LED matrix, one lamp a cell";
  EXPECT_GT(lamps["TRectangle"], 20) << "the marquee's light strip";
  EXPECT_EQ(shape.Width, 1280);
}

// Cell (r, c) of frame f: red 2f, green 2r + 2, blue 2c + 2 (grid cells keep
// even channels).
TWinColor cell(std::int32_t f, std::int32_t r, std::int32_t c) { return 2 * f | (2 * r + 2) << 8 | (2 * c + 2) << 16; }

TEST(ShowOutput, ASequenceHoldsTheCellsOfEveryFrameShown) {
  lumora::test::TPlayerDir dir("sequence");
  const std::string movie = dir.Write("cells.tol", GridAnimation(cell, 2, 3, 5, 4, 4)->SaveToTol());
  const std::string patch = dir.WriteText("grid.json", R"({"fixtures": [{"source": "grid", "layer": 0,
      "rows": [0, 1], "columns": [0, 2], "colours": "GRB", "start": 1}],
      "outputs": [{"protocol": "sacn", "channels": [1, 18], "universe": 1, "host": "127.0.0.1"}]})");
  TShowPassOptions options;
  options.Loops = 2;
  TShowPass pass(movie, options);
  const std::string out = dir.Path("cells.fseq");
  WriteShowSequence(pass, patch, out);
  const TSequence s = readSequence(out);
  EXPECT_EQ(s.Frames, 7u) << "frames 0-3, then 1-3";
  EXPECT_EQ(s.Step, 30u);
  ASSERT_EQ(s.Channels, 18u);
  ASSERT_EQ(s.FrameData.size(), 7u);
  const std::int32_t shown[] = {0, 1, 2, 3, 1, 2, 3};
  for (std::size_t k = 0; k < 7; ++k) {
    // Cell (1, 2), row by row the sixth: green, red, blue.
    EXPECT_EQ(s.FrameData[k][15], 4) << k;
    EXPECT_EQ(s.FrameData[k][16], 2 * shown[k]) << k;
    EXPECT_EQ(s.FrameData[k][17], 6) << k;
  }

  const std::string wrong = dir.WriteText("wrong.json", R"({"fixtures": [{"source": "grid", "layer": 3,
      "rows": [0, 0], "columns": [0, 0], "start": 1}],
      "outputs": [{"protocol": "sacn", "channels": [1, 3], "universe": 1, "host": "127.0.0.1"}]})");
  EXPECT_THROW(WriteShowSequence(pass, wrong, dir.Path("wrong.fseq")), EPatchError);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("wrong.fseq")));
}

// The demo's kind of play list: a vector movie whose grid is one row of 16
// cells, then an 18 × 32 grid movie (.tol), then another (.cot).
std::string writeDemoList(const lumora::test::TPlayerDir& dir) {
  dir.Write("neon.ctl", DemoNeonMovie());
  const auto cellOf = [](std::int32_t f, std::int32_t r, std::int32_t c) { return TWinColor(4 * f | (2 * r + 2) << 8 | (2 * c + 2) << 16); };
  dir.Write("waves.tol", GridAnimation(cellOf, 18, 32, 6, 3, 3)->SaveToTol());
  dir.Write("rings.cot", DemoRingsGrid()->SaveToCot());
  return dir.WriteText("show.lst", "neon.ctl\nwaves.tol\nrings.cot\n");
}

// The README's worked patch: every cell of grid layer 0, as RGB pixels row
// by row, 1,728 channels in four universes.
std::string gridPatch(std::uint16_t port) {
  return R"({"fixtures": [{"name": "grid", "source": "grid", "layer": 0, "colours": "RGB", "start": 1}],
             "outputs": [{"protocol": "sacn", "channels": [1, 1728], "universe": 1, "host": "127.0.0.1", "port": )" +
         std::to_string(port) + "}]}";
}

// The channels the worked patch gives the frame drawn last, worked out from
// the engine's own cells: red, green, blue of each cell row by row, then 0.
Bytes expectedCells(const TShowEngine& engine) {
  Bytes channels;
  if (const TFrameData* cells = engine.GridLayerFrame(0, engine.LastDrawn().Frame)) {
    for (std::int32_t r = 0; r < cells->Rows(); ++r) {
      for (std::int32_t c = 0; c < cells->Columns(); ++c) {
        const TColor32 colour = Color32FromWinColor(cells->CellColor(r, c));
        channels.insert(channels.end(), {RedComponent(colour), GreenComponent(colour), BlueComponent(colour)});
      }
    }
  }
  channels.resize(1728);
  return channels;
}

// The slots of universes 1–4 as the last packets of each left them.
Bytes lastUniverses(test::TLoopbackReceiver& receiver) {
  std::map<std::uint32_t, Bytes> slots;
  for (const Bytes& p : receiver.Drain()) {
    if (p.size() > 126) slots[test::Big16(p, 113)] = Bytes(p.begin() + 126, p.end());
  }
  Bytes channels;
  for (const auto& [universe, data] : slots) channels.insert(channels.end(), data.begin(), data.end());
  return channels;
}

// Each entry lights its own cells, all 1,728 channels for the grid movies,
// through a patch read once: its file is gone and no host is looked up
// again while the list plays.
TEST(ShowOutput, EveryEntryOfAPlayListLightsItsCellsThroughAPatchReadOnce) {
  lumora::test::TPlayerDir dir("list_lights");
  const std::string list = writeDemoList(dir);
  test::TLoopbackReceiver receiver;
  const std::string patch = dir.WriteText("grid.json", gridPatch(receiver.Port()));
  THeadlessShow show(1920, 1080);
  show.Engine.ExtractMusic = false;
  show.Open(list);
  show.DrawOnEveryMove();
  const std::uint64_t lookups = gHostLookups;
  TLightSink sink(show.Engine, ReadPatchDefinition(patch), {});
  EXPECT_EQ(gHostLookups - lookups, 1u);
  std::filesystem::remove(patch);
  std::set<std::string> played;
  for (int entry = 0; entry < 3; ++entry) {
    played.insert(std::filesystem::path(show.Engine.ShowFile()).filename().string());
    SCOPED_TRACE(show.Engine.ShowFile());
    show.Engine.Tick();
    show.Engine.Tick();
    sink.Flush();
    const Bytes channels = lastUniverses(receiver);
    EXPECT_EQ(channels, expectedCells(show.Engine));
    EXPECT_EQ(std::count(channels.begin() + 48, channels.end(), 0) < 1680, entry > 0) << "cells past the 16th";
    show.Engine.Seek(show.Engine.Frames().Max);
    show.Engine.Tick();
  }
  EXPECT_EQ(played, (std::set<std::string>{"neon.ctl", "waves.tol", "rings.cot"}));
  EXPECT_EQ(gHostLookups - lookups, 1u) << "looked up again while playing";
}

// Outputs naming the same host ask the resolver once for it.
TEST(ShowOutput, EachHostIsLookedUpOnceHoweverManyOutputsNameIt) {
  const std::uint64_t before = gHostLookups;
  const TPatchDefinition patch = ParsePatchDefinition(R"({"outputs": [
      {"protocol": "sacn", "channels": [1, 3], "universe": 1, "host": "127.0.0.1"},
      {"protocol": "sacn", "channels": [4, 6], "universe": 2, "host": "127.0.0.1"},
      {"protocol": "artnet", "channels": [1, 6], "host": "localhost"},
      {"protocol": "ddp", "channels": [1, 6], "host": "127.0.0.1", "interface": "localhost"}]})",
                                                      "hosts.patch");
  EXPECT_EQ(gHostLookups - before, 2u);
  EXPECT_EQ(patch.Outputs[3].Interface, 0x7F000001u);
}

// A player started with a patch and no show, or with a show the patch
// cannot drive, keeps it: the show it cannot drive is reported once and
// sends nothing, and a show opened later that it drives lights the lamps.
TEST(ShowOutput, APatchWaitsForAShowItCanDrive) {
  lumora::test::TPlayerDir dir("patch_waits");
  writeDemoList(dir);
  test::TLoopbackReceiver receiver;
  // Rows 0–17 of layer 0: the neon movie has one row.
  const std::string patch = R"({"fixtures": [{"source": "grid", "layer": 0, "rows": [0, 17], "start": 1}],
      "outputs": [{"protocol": "sacn", "channels": [1, 1728], "host": "127.0.0.1", "port": )" +
                            std::to_string(receiver.Port()) + "}]}";
  THeadlessShow show(1920, 1080);
  show.DrawOnEveryMove();
  test::TReportLog log;
  TLiveSettings settings;
  settings.Report = log.Sink();
  TLightSink sink(show.Engine, ParsePatchDefinition(patch, "rows.json"), settings);
  for (const char* movie : {"neon.ctl", "neon.ctl", "waves.tol"}) {
    show.Engine.LoadMovie(dir.Path(movie));
    show.Engine.Tick();
    show.Engine.Tick();
    sink.Flush();
  }
  EXPECT_EQ(log.Reports(), std::vector<std::string>{"neon.ctl: rows.json: fixtures[0].rows[1]: must be a whole number "
                                                    "from 0 to 0; the lamps stay dark while it plays"});
  EXPECT_EQ(lastUniverses(receiver), expectedCells(show.Engine)) << "the neon movie sent nothing";
}

// The sequence of a play list: every frame as the pass plays it, each
// entry's cells as the engine holds them; a lamps patch for the vector
// movie writes the grid movies dark and says so once for each.
TEST(ShowOutput, ASequenceOfAPlayListHoldsEveryEntrysCells) {
  lumora::test::TPlayerDir dir("list_sequence");
  const std::string list = writeDemoList(dir);
  const std::string patch = dir.WriteText("grid.json", gridPatch(5568));
  TShowPassOptions options;
  options.DrawThreads = 1;
  TShowPass pass(list, options);
  const std::string out = dir.Path("show.fseq");
  WriteShowSequence(pass, patch, out);
  const TSequence s = readSequence(out);
  ASSERT_EQ(s.Channels, 1728u);
  ASSERT_EQ(s.FrameData.size(), static_cast<std::size_t>(pass.FrameCount()));
  TShowPass reference(list, options);
  reference.Rewind();
  std::set<std::string> lit;
  for (std::size_t k = 0; k < s.FrameData.size(); ++k) {
    reference.NextFrame();
    ASSERT_EQ(s.FrameData[k], expectedCells(reference.Engine())) << "frame " << k;
    if (std::count(s.FrameData[k].begin() + 48, s.FrameData[k].end(), 0) < 1680) lit.insert(reference.Engine().ShowFile());
  }
  EXPECT_EQ(lit.size(), 2u) << "both grid movies fill the channels past 48";

  THeadlessShow neon(1920, 1080);
  neon.Engine.LoadMovie(dir.Path("neon.ctl"));
  const std::string lamps = dir.WriteText("lamps.json", MakeStartingPatch(MovieShapeOf(neon.Engine), {TStartingSource::Lamps, TProtocol::Sacn, ""}));
  std::vector<std::string> reports;
  TSequenceOptions sequence;
  sequence.OnReport = [&reports](const std::string& message) { reports.push_back(message); };
  WriteShowSequence(pass, lamps, out, sequence);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "waves.tol: " + lamps + ": fixtures[0].graphic: layer 2 has no graphic 0 with lamps; its frames "
                        "are written dark");
  const TSequence dark = readSequence(out);
  EXPECT_EQ(dark.FrameData.back(), Bytes(dark.Channels, 0)) << "the last frame is the .cot's";
}

}  // namespace
}  // namespace lumora::output
