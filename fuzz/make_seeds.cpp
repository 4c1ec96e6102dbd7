// make_seeds DIR: writes seed files for the fuzz targets with our own
// writers: movies of versions 1, 3 and 6 (with grid layers, line records,
// masked layers, music and the demo show's graphics of every kind), their
// inflated bodies, the hostile files of the tests at a small scale, grid
// files, an executable with a movie, play lists, hand-off records and their
// queue, light patches, sound files with the play lists and manifests
// that must never be taken for music, and the sync layer's packets and
// messages.
#include <cmath>
#include <filesystem>
#include <iostream>
#include <span>
#include <string>

#include "app/program_entry.h"
#include "bench/season_schedule.h"
#include "fuzz/hostile_files.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/patch_movies.h"
#include "fuzz/music_files.h"
#include "fuzz/sync_seeds.h"
#include "movie/movie_file.h"
#include "output/patch_generator.h"
#include "tools/demo_show.h"

namespace lumora {
namespace {

void fillGrid(TFrameDataLayers& grid, std::int32_t frames) {
  auto layer = std::make_unique<TFrameDataLayer>();
  layer->SetRows(3);
  layer->SetColumns(4);
  layer->CellWidth = 10;
  layer->CellHeight = 8;
  layer->HasLines = 1;
  layer->Lines.resize(2);
  auto section = std::make_unique<TSection>();
  for (std::int32_t i = 0; i < frames; ++i) {
    auto f = std::make_unique<TFrameData>(3, 4);
    f->SetCell(i % 3, i % 4, 0x00FF00FF);
    section->Add(std::move(f));
  }
  layer->Add(std::move(section));
  layer->Add(std::make_unique<TSection>());
  grid.Add(std::move(layer));
}

void write(const std::string& dir, const std::string& name, std::span<const std::uint8_t> bytes) {
  std::filesystem::create_directories(dir);
  WriteFileBytes(dir + "/" + name, bytes);
}

std::vector<std::uint8_t> tagged(char tag, std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(tag)};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

std::vector<std::uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

// The whole-pipeline target: a kind byte, then the file (see pipeline_fuzz).
void writePipelineSeeds(const std::string& dir, std::span<const std::uint8_t> movie,
                        std::span<const std::uint8_t> tol, std::span<const std::uint8_t> cot) {
  const auto neon = DemoNeonMovie();
  write(dir, "neon.ctl", tagged('M', neon));
  write(dir, "neon.body", tagged('M', fuzz::BodyInput(neon)));
  write(dir, "layered.body", tagged('M', fuzz::BodyInput(movie)));
  write(dir, "show.tol", tagged('T', tol));
  write(dir, "show.cot", tagged('C', cot));
}

// The files the tests refuse, small: each stands near a limit the targets
// should keep probing.
void writeHostileSeeds(const std::string& out) {
  using namespace fuzz;
  const std::pair<const char*, std::vector<std::uint8_t>> movies[] = {
      {"polygon.ctl", legacyMovie(true, 1, {{legacyCornerShape(4, 5000, 100)}})},
      {"star.ctl", legacyMovie(false, 1, {{legacyCornerShape(5, 3000, 100)}})},
      {"groups.ctl", legacyMovie(true, 1, legacyNestedGroups(8, 100))},
      {"pieces.ctl", polylineGroupMovie({0, 0, 15, 15}, 3000)},
      {"widest.ctl", polylineGroupMovie(kWidestCellRange, 300)},
      {"lines.ctl", gridLinesMovie(2, 64, 64, 3)},
      {"music.ctl", musicMovie("song.mp3", 5000)},
      {"music_cap.ctl", musicMovie("song.mp3", kMaxMusicBytes + 1u, 0)},
      {"picture.ctl", pictureMovie(64, 64)},
      {"polyline.ctl", longPolylineMovie(2000)},
      {"thin.ctl", longPolylineMovie(2000, 0)},
      {"rectangles.ctl", rectanglesMovie(100)},
      {"lamps.ctl", lampStripMovie(200, 32)},
      {"light.ctl", swingingLightMovie(64)},
      {"masked.ctl", maskedLayersMovie(4, 100)},
      {"whole_frame.ctl", wholeFrameMovie(1000)},
  };
  for (const auto& [name, bytes] : movies) {
    write(out + "/movie", std::string("hostile_") + name, bytes);
    write(out + "/pipeline", std::string("hostile_") + name, tagged('M', bytes));
    if (bytes[5] == 6) write(out + "/pipeline", std::string("hostile_") + name + ".body", tagged('M', fuzz::BodyInput(bytes)));
  }
  std::vector<std::uint8_t> tol = tolHeader(1000, 100, 100);
  tol.resize(tol.size() + 3 * 100 * 100 * 2);
  write(out + "/pipeline", "hostile_frames.tol", tagged('T', tol));
}

// A patch whose fixture has many keys, each once: the duplicate check must
// stay fast however many there are.
std::string manyKeysPatch(int keys) {
  std::string patch = R"({"fixtures": [{"source": "grid", "layer": 0, "start": 1)";
  for (int k = 0; k < keys; ++k) patch += ", \"k" + std::to_string(k) + "\": " + std::to_string(k % 10);
  return patch + "}]}";
}

// The season of the benchmark, and small schedules over the change to
// summer time with every kind of entry.
void writeScheduleSeeds(const std::string& dir) {
  const std::string small[] = {
      schedule::season::kSchedule,
      R"({"timezone": "Europe/Berlin", "entries": [{"play": "a.lst", "start": "02:30", "end": "01:00", "stop": "pass"},
          {"play": "b.ctl", "start": "01:00", "end": "24:00", "repeat": 7, "priority": 3, "stop": "now"}]})",
      R"({"timezone": "America/New_York", "location": {"latitude": 69.6, "longitude": -18.9}, "entries": [
          {"play": "c.tol", "days": "odd", "start": "sunrise-720", "end": "sunset+720", "repeat": "once"},
          {"command": "blackout", "args": {"on": true}, "days": ["sat", "sun"], "start": "dusk", "end": "dawn", "repeat": 1},
          {"play": "d.lst", "dates": ["2020-03-29", "2020-04-01"], "every-year": true, "start": "00:00", "end": "00:00"}]})",
  };
  int index = 0;
  for (const std::string& text : small) {
    write(dir, "schedule" + std::to_string(index++) + ".json", std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
}

// Light patches: the starting patches our generator writes for the small
// movies of the fuzz target (alone, and as a play list of the two), one of
// every fixture kind, and one of many keys.
// What clients send the control service: WebSocket messages, and bodies
// of every kind of command.
void writeControlSeeds(const std::string& dir) {
  const std::string messages[] = {
      R"({"type": "auth", "id": 1, "secret": "lamp-post-7"})",
      R"({"type": "command", "id": "a", "name": "play", "args": {"file": "demo.lst", "entry": 2, "loops": 3}})",
      R"({"type": "command", "id": 2, "name": "seek", "args": {"seconds": 12.5}})",
      R"({"type": "command", "name": "test", "args": {"pattern": "chase", "level": 40, "output": 1, "step": 100}})",
      R"({"when": "pass"})",
      R"({"percent": 55, "on": true, "interval": 40, "frame": 3})",
      R"({"file": "../x.lst", "shuffle": true, "protect": false})",
  };
  int index = 0;
  for (const std::string& message : messages) write(dir, "message" + std::to_string(index++), text(message));
}

void writePatchSeeds(const std::string& dir) {
  using namespace output;
  const std::vector<TMovieShape> movies = fuzz::PatchMovies();
  const TMovieShape& movie = movies[0];
  for (const TProtocol protocol : kProtocols) {
    for (const TStartingSource source : {TStartingSource::Grid, TStartingSource::Lamps}) {
      const std::string host = protocol == TProtocol::Ddp ? "127.0.0.1" : "";
      const std::string name = std::string(ProtocolKey(protocol)) + (source == TStartingSource::Grid ? "_grid" : "_lamps");
      write(dir, name, text(MakeStartingPatch(movie, {source, protocol, host})));
      write(dir, name + "_list", text(MakeStartingPatch(movies, {source, protocol, host})));
    }
  }
  write(dir, "many_keys", text(manyKeysPatch(20000)));
  write(dir, "fixtures", text(R"({"fixtures": [
    {"name": "facade", "source": "grid", "layer": 0, "rows": [0, 3], "columns": [1, 5], "order": "columns",
     "serpentine": true, "colours": "GRB", "start": 1, "brightness": 50, "gamma": 2.2},
    {"source": "lamps", "layer": 1, "graphic": 2, "start": 100, "colours": "intensity"},
    {"source": "pixels", "points": [[0, 0], [63, 31]], "start": 200},
    {"source": "pixels", "line": {"from": [0, 0], "to": [63, 0], "count": 20}, "start": 300},
    {"source": "pixels", "rectangle": {"from": [0, 0], "to": [63, 31], "columns": 8, "rows": 4}, "start": 400}],
   "outputs": [{"protocol": "artnet", "channels": [1, 600], "universe": 3, "host": "127.0.0.1"}],
   "blackout": false})"));
}

// The hand-off queue target reads operations; these open connections,
// send records in pieces and whole, end them and take the paths.
void writeQueueSeeds(const std::string& dir) {
  write(dir, "pieces", std::vector<std::uint8_t>{0, 0, 1, 0, 3, 0, 0, 0, 12, 4, 0, 1, 0, 6, 'a', '.', 'c', 't', 'l', 0,
                                                 3, 0, 4, 0});
  write(dir, "whole", std::vector<std::uint8_t>{0, 0, 0, 0, 2, 1, 9, 2, 0, 16, 3, 0, 3, 1, 4, 0, 4, 0});
}

// Music: sound files of every format taken (from the tests' tone) and of
// the sample values, channel counts and rates that once failed an export,
// a stream format that is refused, and the texts that name other files.
void writeMusicSeeds(const std::string& dir) {
  using namespace fuzz;
  write(dir, "tone.wav", WavBytes(8000, 1, ToneSamples(8000, 1, 0.3, 440)));
  std::vector<float> odd;
  for (int i = 0; i < 2000; ++i) odd.push_back(i % 3 == 0 ? std::nanf("") : i % 3 == 1 ? INFINITY : -1e30f);
  write(dir, "odd_samples.wav", FloatWavBytes(8000, 1, odd));
  write(dir, "channels64.wav", WavBytes(8000, 64, ToneSamples(8000, 64, 0.02, 440)));
  write(dir, "rate1.wav", WavBytes(1, 2, std::vector<std::int16_t>(80, 8000)));
  write(dir, "rate3000.wav", WavBytes(3000, 2, ToneSamples(3000, 2, 0.2, 330)));
  const std::pair<const char*, const char*> encoded[] = {{"mp3", "libmp3lame"}, {"flac", "flac"},
                                                          {"ogg", "libvorbis"}, {"adts", "aac"},
                                                          {"ipod", "aac"},      {"matroska", "libopus"},
                                                          {"mpegts", "aac"}};
  for (const auto& [container, encoder] : encoded) {
    std::filesystem::create_directories(dir);
    WriteEncodedTone(dir + "/tone." + container, container, encoder);
  }
  write(dir, "local.m3u8", TextBytes(HlsPlaylist("/tmp/secret.wav")));
  write(dir, "live.m3u8", TextBytes(HlsPlaylist("secret.wav", true)));
  write(dir, "manifest.mpd", TextBytes(DashManifest("secret.wav")));
  write(dir, "script.ffconcat", TextBytes(ConcatScript("secret.wav")));
  write(dir, "session.sdp", TextBytes(SdpSession()));
  write(dir, "list.pls", TextBytes(PlsPlaylist("secret.wav")));
}

void writeEntrySeeds(const std::string& out) {
  write(out + "/playlist", "list.lst", text("show.ctl\nshow.tol\n"));
  write(out + "/playlist", "mixed.lst", text("missing.ctl\r\nshow.tol\rshow.ctl\n\nshow.cot"));
  write(out + "/handoff", "movie", EncodeCopyData("/home/show/neon.ctl"));
  write(out + "/handoff", "list", EncodeCopyData("节目/demo.lst"));
}

int run(const std::string& out) {
  TMovieDocument document;
  TMovieFile& movie = document.File;
  TFrameDataLayers& grid = document.Grid;
  movie.Width = 320;
  movie.Height = 200;
  document.Root.AddLayer("");
  document.Root.AddLayer("").SetMasked(1);
  fillGrid(grid, 5);
  const TMusicData music{"seed.mp3", {1, 2, 3, 4}};
  const auto layered = movie.SaveLayered(&music);
  write(out + "/movie", "layered.ctl", layered);
  write(out + "/movie", "plain.ctl", movie.SaveLayered(nullptr));
  write(out + "/movie", "v1.ctl", movie.SaveGridProgram(false));
  write(out + "/movie", "v3.ctl", movie.SaveGridProgram(true));
  write(out + "/movie", "layered.body", fuzz::BodyInput(layered));
  write(out + "/movie", "neon.ctl", DemoNeonMovie());
  write(out + "/movie", "neon.body", fuzz::BodyInput(DemoNeonMovie()));
  write(out + "/appended", "player.exe", AppendMovie(std::vector<std::uint8_t>(512, 0x90), layered));
  // The grid target's first byte selects .cot (odd) or .tol (even).
  auto tol = grid.Items(0).SaveToTol();
  tol.insert(tol.begin(), 0);
  write(out + "/grid", "show.tol", tol);
  auto cot = grid.Items(0).SaveToCot();
  cot.insert(cot.begin(), 1);
  write(out + "/grid", "show.cot", cot);
  writePipelineSeeds(out + "/pipeline", layered, grid.Items(0).SaveToTol(), grid.Items(0).SaveToCot());
  writeEntrySeeds(out);
  writeHostileSeeds(out);
  writePatchSeeds(out + "/patch");
  writeQueueSeeds(out + "/queue");
  writeControlSeeds(out + "/control");
  writeMusicSeeds(out + "/music");
  writeScheduleSeeds(out + "/schedule");
  fuzz::WriteSyncSeeds(out, [](const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    write(dir, name, bytes);
  });
  std::cout << out << "\n";
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds DIR\n";
    return 2;
  }
  try {
    return lumora::run(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make_seeds: " << e.what() << "\n";
    return 1;
  }
}
