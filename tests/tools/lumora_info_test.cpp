#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fuzz/hostile_files.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/movie_file.h"
#include "scene/control_layer.h"
#include "scene/group.h"
#include "support/program_run.h"

namespace lumora {
namespace {

using TRun = test::TProgramRun;

// A folder of its own that is also the temporary directory of the runs, so
// that a written music file would show.
class LumoraInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = std::filesystem::temp_directory_path() / ("lumora_info_" + std::to_string(::getpid()));
    std::filesystem::create_directories(fDir / "tmp");
  }
  void TearDown() override { std::filesystem::remove_all(fDir); }

  std::string path(const std::string& name) const { return (fDir / name).string(); }

  TRun run(const std::string& args) const {
    return test::RunProgram("TMPDIR=" + path("tmp") + " " + LUMORA_INFO_PROGRAM + " " + args, path("run"));
  }

  // Two layers, the second masked, one grid layer of 2 × 3 cells with two
  // frame lists of 4 and 0 frames, and a music file.
  std::string writeMovie() const {
    TMovieDocument source;
    source.File.Width = 320;
    source.File.Height = 200;
    source.Root.AddLayer("");
    source.Root.AddLayer("").SetMasked(1);
    auto layer = std::make_unique<TFrameDataLayer>();
    layer->SetRows(2);
    layer->SetColumns(3);
    layer->CellWidth = 10;
    layer->CellHeight = 8;
    auto frames = std::make_unique<TSection>();
    for (int i = 0; i < 4; ++i) frames->Add(std::make_unique<TFrameData>(2, 3));
    layer->Add(std::move(frames));
    layer->Add(std::make_unique<TSection>());
    source.Grid.Add(std::move(layer));
    const TMusicData music{"../song.mp3", {1, 2, 3}};
    const std::string file = path("show.ctl");
    WriteFileBytes(file, source.File.SaveLayered(&music));
    return file;
  }

  std::filesystem::path fDir;
};

TEST_F(LumoraInfo, JsonHoldsTheStructure) {
  const TRun result = run(writeMovie() + " --json");
  ASSERT_EQ(result.Status, 0) << result.Errors;
  const auto json = nlohmann::json::parse(result.Out);
  EXPECT_EQ(json["width"], 320);
  EXPECT_EQ(json["height"], 200);
  EXPECT_EQ(json["version"], 6);
  EXPECT_EQ(json["plays"], nlohmann::json::parse(
                               R"({"first_frame": 0, "last_frame": 2, "interval_ms": 30, "seconds": 0.09})"))
      << "4 frames stored: the frame bar runs 1 to 3";
  EXPECT_EQ(json["layers"], nlohmann::json::parse(R"([
      {"name": "第1层", "masked": false, "graphics": [], "left_out": []},
      {"name": "第2层", "masked": true, "graphics": [], "left_out": []}])"));
  EXPECT_EQ(json["grid_layers"][0], nlohmann::json::parse(R"({"rows": 2, "columns": 3, "cell_width": 10,
      "cell_height": 8, "current": true, "sections": [{"frames": 4}, {"frames": 0}], "frames": 4})"));
  EXPECT_EQ(json["music"]["name"], "song.mp3");
  EXPECT_TRUE(std::filesystem::is_empty(path("tmp"))) << "the music file is never written";
}

TEST_F(LumoraInfo, SummaryPlayListsAndGridMovies) {
  const std::string movie = writeMovie();
  const TRun summary = run(movie);
  ASSERT_EQ(summary.Status, 0) << summary.Errors;
  EXPECT_NE(summary.Out.find("movie version 6, 320 x 200\nplays frames 0–2 at 30 ms = 0.09 s\n"), std::string::npos)
      << summary.Out;
  EXPECT_NE(summary.Out.find("layer 1 第2层 (masked): 0 graphics"), std::string::npos) << summary.Out;

  TFrameDataLayer grid;
  grid.SetRows(1);
  grid.SetColumns(2);
  grid.CellWidth = 4;
  grid.CellHeight = 4;
  auto frames = std::make_unique<TSection>();
  frames->Add(std::make_unique<TFrameData>(1, 2));
  grid.Add(std::move(frames));
  WriteFileBytes(path("cells.tol"), grid.SaveToTol());
  const TRun tol = run(path("cells.tol") + " --json");
  ASSERT_EQ(tol.Status, 0) << tol.Errors;
  EXPECT_EQ(nlohmann::json::parse(tol.Out)["grid_layers"][0]["columns"], 2) << tol.Out;
  // 65,535 cells of 65,535 pixels pass 2^31: the width is taken in 64 bits.
  std::vector<std::uint8_t> wide = fuzz::tolHeader(1, 1, 65535, 65535, 1);
  wide.resize(wide.size() + 3 * 65535);
  WriteFileBytes(path("wide.tol"), wide);
  const TRun wideRun = run(path("wide.tol"));
  ASSERT_EQ(wideRun.Status, 0) << wideRun.Errors;
  EXPECT_NE(wideRun.Out.find("4294836225 x 1"), std::string::npos) << wideRun.Out;

  std::ofstream(path("shows.lst")) << "show.ctl\r\nmissing.ctl\ncells.tol\njunk.ctl\nshow.ctl\n";
  std::ofstream(path("junk.ctl")) << "not a movie";
  const TRun list = run(path("shows.lst") + " --json");
  ASSERT_EQ(list.Status, 0) << list.Errors;
  const nlohmann::json listed = nlohmann::json::parse(list.Out);
  EXPECT_EQ(listed["entries"][0], nlohmann::json::parse(R"({"name": "show.ctl", "exists": true, "path": ")" +
                                                        path("show.ctl") +
                                                        R"(", "frames": 3, "interval_ms": 30, "seconds": 0.09})"));
  EXPECT_EQ(listed["entries"][1], nlohmann::json::parse(R"({"name": "missing.ctl", "exists": false})"));
  EXPECT_EQ(listed["entries"][2]["frames"], 1) << "one frame shows for one tick";
  EXPECT_EQ(listed["entries"][3]["fault"], path("junk.ctl") + ": not a movie file: it does not start with a movie's mark");
  EXPECT_EQ(listed["entries"][4]["frames"], 2) << "a later entry starts at its frame 1";
  EXPECT_EQ(listed["plays"], nlohmann::json::parse(R"({"frames": 6, "seconds": 0.18})"));
  const TRun text = run(path("shows.lst"));
  EXPECT_NE(text.Out.find("  show.ctl: 3 frames at 30 ms = 0.09 s\n  missing.ctl (missing)\n"), std::string::npos)
      << text.Out;
  EXPECT_NE(text.Out.find("in all: 6 frames = 0.18 s\n"), std::string::npos) << text.Out;
}

TEST_F(LumoraInfo, FailuresGiveOneLineAndAStatus) {
  std::ofstream(path("junk.ctl")) << "not a movie at all";
  const TRun junk = run(path("junk.ctl"));
  EXPECT_EQ(junk.Status, 1);
  EXPECT_EQ(junk.Errors, "lumora-info: " + path("junk.ctl") + ": not a movie file: it does not start with a movie's mark\n")
      << "the words lumora-render uses";

  const TRun missing = run(path("absent.tol"));
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Errors.find("absent.tol"), std::string::npos) << missing.Errors;

  EXPECT_EQ(run("").Status, 2) << "no file: usage";
}

// Names that are not well-formed UTF-8 (a surrogate, overlong forms, bytes
// past U+10FFFF) come out as the Latin-1 characters of their bytes, so that
// the JSON is always whole; the summary writes control characters as
// escapes, so that a name cannot retitle or drive the terminal.
TEST_F(LumoraInfo, AnyNameComesOutReadable) {
  struct TCase {
    std::string Stored;
    std::string Json;
    std::string Summary;
  };
  const std::vector<TCase> cases = {
      {"\xED\xA0\x80.mp3", "\xC3\xAD\xC2\xA0\xC2\x80.mp3", "\xC3\xAD\xC2\xA0\\x80.mp3"},
      {"\xC0\xAF.mp3", "\xC3\x80\xC2\xAF.mp3", "\xC3\x80\xC2\xAF.mp3"},
      {"\xE0\x80\xAF.mp3", "\xC3\xA0\xC2\x80\xC2\xAF.mp3", "\xC3\xA0\\x80\xC2\xAF.mp3"},
      {"\xF5\x80\x80\x80.mp3", "\xC3\xB5\xC2\x80\xC2\x80\xC2\x80.mp3", "\xC3\xB5\\x80\\x80\\x80.mp3"},
      {"\xF4\x90\x80\x80.mp3", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80.mp3", "\xC3\xB4\\x90\\x80\\x80.mp3"},
      {"\x1B]0;owned\x07.mp3", "\x1B]0;owned\x07.mp3", "\\x1b]0;owned\\x07.mp3"},
      {"歌.mp3", "歌.mp3", "歌.mp3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Summary);
    TMovieDocument source;
    source.Root.AddLayer("");
    const TMusicData music{c.Stored, {1}};
    WriteFileBytes(path("named.ctl"), source.File.SaveLayered(&music));
    const TRun json = run(path("named.ctl") + " --json");
    ASSERT_EQ(json.Status, 0) << json.Errors;
    EXPECT_EQ(nlohmann::json::parse(json.Out)["music"]["name"], c.Json);
    const TRun summary = run(path("named.ctl"));
    ASSERT_EQ(summary.Status, 0) << summary.Errors;
    EXPECT_NE(summary.Out.find("music: " + c.Summary + "\n"), std::string::npos) << summary.Out;
    EXPECT_EQ(summary.Out.find('\x1B'), std::string::npos);
  }
}

TEST_F(LumoraInfo, GroupsListTheirChildren) {
  TMovieDocument source;
  auto group = std::make_unique<TGroup>(nullptr);
  group->AddChild(std::make_unique<TGroup>(nullptr));
  source.Root.AddLayer("").Add(std::move(group));
  const std::string file = path("group.ctl");
  WriteFileBytes(file, source.File.SaveLayered(nullptr));
  const TRun result = run(file + " --json");
  ASSERT_EQ(result.Status, 0) << result.Errors;
  const auto outer = nlohmann::json::parse(result.Out)["layers"][0]["graphics"][0];
  ASSERT_EQ(outer["children"].size(), 1u) << result.Out;
  EXPECT_EQ(outer["children"][0]["class"], "TGroup");
  EXPECT_EQ(outer["children"][0]["children"], nlohmann::json::array()) << "the inner group has none";
}

}  // namespace
}  // namespace lumora
