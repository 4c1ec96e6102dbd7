#include "show/show_pass.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/hostile_files.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

using test::tolBytes;

// The frame each step of a pass shows.
std::vector<std::int32_t> framesOfAPass(TShowPass& pass) {
  std::vector<std::int32_t> frames;
  pass.Rewind();
  for (std::int64_t i = 0; i < pass.FrameCount(); ++i) {
    pass.NextFrame();
    frames.push_back(pass.Engine().LastDrawn().Frame);
  }
  return frames;
}

class ShowPass : public ::testing::Test {
 protected:
  TShowPassOptions options(std::int32_t loops = 1) const {
    TShowPassOptions o;
    o.ExecutablePath = Dir.Executable();
    o.Loops = loops;
    return o;
  }

  test::TPlayerDir Dir{"pass"};
};

// The player's wrap draws frame 0 and frame 1 in one tick, so frame 0 shows
// on the first pass only; each later entry of a play list starts at its
// frame 1.
TEST_F(ShowPass, PlaysAsThePlayerPlays) {
  const std::string four = Dir.Write("four.tol", tolBytes(1, 2, 4, 4, 4));
  TShowPass twice(four, options(2));
  EXPECT_EQ(framesOfAPass(twice), (std::vector<std::int32_t>{0, 1, 2, 1, 2})) << "4 frames: the bar runs to 3";
  EXPECT_EQ(framesOfAPass(twice), (std::vector<std::int32_t>{0, 1, 2, 1, 2})) << "a second pass starts afresh";
  EXPECT_EQ(twice.Engine().TickInterval(), 30);

  Dir.Write("three.tol", tolBytes(2, 2, 4, 4, 3));
  TShowPass list(Dir.WriteText("show.lst", "four.tol\nthree.tol\n"), options(2));
  EXPECT_EQ(framesOfAPass(list), (std::vector<std::int32_t>{0, 1, 2, 1, 1, 2, 1}));

  TShowPassOptions range = options(2);
  range.First = 1;
  range.Last = 2;
  TShowPass part(four, range);
  EXPECT_EQ(framesOfAPass(part), (std::vector<std::int32_t>{1, 2, 1, 2}));
}

// The music is written out once, by the pass, for all its passes, and goes
// with it; a pass that plays no sound writes none but knows its name.
TEST_F(ShowPass, MusicIsWrittenOnceForThePass) {
  const std::string movie = Dir.Write("music.ctl", fuzz::musicMovie("song.mp3", 600));
  TShowPassOptions withMusic = options(3);
  withMusic.ExtractMusic = true;
  std::string written;
  {
    TShowPass pass(movie, withMusic);
    written = pass.MusicPath();
    EXPECT_EQ(pass.MusicName(), "song.mp3");
    EXPECT_EQ(std::filesystem::path(written).filename(), "song.mp3");
    for (int round = 0; round < 2; ++round) {
      framesOfAPass(pass);
      EXPECT_EQ(pass.MusicPath(), written);
      EXPECT_EQ(ReadFileBytes(written).size(), 600u);
    }
    EXPECT_TRUE(pass.MusicNotes().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(written));
  TShowPass silent(movie, options());
  EXPECT_EQ(silent.MusicName(), "song.mp3");
  EXPECT_EQ(silent.MusicPath(), "");
}

TEST_F(ShowPass, WhatCannotBePlayedIsNamed) {
  const std::string four = Dir.Write("four.tol", tolBytes(1, 2, 4, 4, 4));
  TShowPassOptions past = options();
  past.First = 2;
  past.Last = 3;
  EXPECT_THROW(TShowPass(four, past), std::runtime_error) << "the bar runs to frame 2";
}

// The player used to stop a play list for good at an entry of one frame;
// it now shows it for one tick and moves on.
TEST_F(ShowPass, AnEntryOfOneFrameShowsForOneTick) {
  Dir.Write("four.tol", tolBytes(1, 2, 4, 4, 4));
  Dir.Write("one.tol", tolBytes(1, 2, 4, 4, 1));
  TShowPass list(Dir.WriteText("once.lst", "four.tol\none.tol\n"), options(2));
  EXPECT_EQ(framesOfAPass(list), (std::vector<std::int32_t>{0, 1, 2, 0, 1, 2, 0}));
}

}  // namespace
}  // namespace lumora
