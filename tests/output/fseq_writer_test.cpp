// FSEQ 2.0 files read back by a reader of their own, written from the
// format's published description and sharing no code with the writer:
// compressed and plain, header fields, block table, variable headers, and
// no file under the target's name unless the sequence is whole.
#include "output/fseq_writer.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "output/fseq_reader.h"

namespace lumora::output {
namespace {

namespace fs = std::filesystem;

Bytes frameOf(std::uint32_t frame, std::uint32_t channels) {
  Bytes data(channels);
  for (std::uint32_t c = 0; c < channels; ++c) data[c] = static_cast<std::uint8_t>(frame * 7 + c * 13 + (c >> 9));
  return data;
}

std::uint64_t microsecondsNow() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

class FseqWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    fFolder = fs::temp_directory_path() / ("lumora_fseq_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fFolder);
  }
  void TearDown() override { fs::remove_all(fFolder); }
  std::vector<std::string> filesLeft() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fFolder)) names.push_back(entry.path().filename().string());
    return names;
  }
  fs::path fFolder;
};

TEST_F(FseqWriter, RoundTripsThroughAnIndependentReader) {
  const struct {
    std::uint32_t Channels, Frames;
    bool Compress;
    std::string Music;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> BlockStarts;
  } cases[] = {
      {6159, 25, true, "song.mp3", {{0, 0}, {10, 0}, {20, 0}}},
      {6159, 25, false, "", {}},
      {3, 30000, true, "", {{0, 0}, {10, 0}, {21855, 0}}},
      {100000, 3, true, "a b.ogg", {{0, 0}}},
      // 291 blocks: the block count's high bits share a byte with the compression type.
      {65536, 300, true, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Channels) + " × " + std::to_string(c.Frames) + (c.Compress ? " zstd" : " plain"));
    const std::string path = (fFolder / "show.fseq").string();
    const std::uint64_t before = microsecondsNow();
    {
      TFseqWriter writer(path, {c.Channels, c.Frames, 25, c.Compress, c.Music});
      for (std::uint32_t f = 0; f < c.Frames; ++f) writer.WriteFrame(frameOf(f, c.Channels));
      writer.Finish();
    }
    const TSequence s = readSequence(path);
    EXPECT_EQ(s.Channels, c.Channels);
    EXPECT_EQ(s.Frames, c.Frames);
    EXPECT_EQ(s.Step, 25u);
    EXPECT_EQ(s.Compression, c.Compress ? 1u : 0u);
    EXPECT_EQ(s.Sparse, 0u);
    EXPECT_GE(s.UniqueId, before);
    EXPECT_LE(s.UniqueId, microsecondsNow());
    if (c.Channels == 65536) {
      EXPECT_EQ(s.Blocks, 291u);
    }
    for (std::size_t b = 0; b < c.BlockStarts.size() && b < s.BlockTable.size(); ++b) {
      EXPECT_EQ(s.BlockTable[b].first, c.BlockStarts[b].first) << "block " << b;
    }
    if (!c.BlockStarts.empty()) {
      EXPECT_EQ(s.Blocks, c.BlockStarts.size());
    }
    EXPECT_EQ(s.Variables.at("sp"), "Lumora Stage 0.1.0");
    EXPECT_EQ(s.Variables.count("mf") ? s.Variables.at("mf") : "", c.Music);
    ASSERT_EQ(s.FrameData.size(), c.Frames);
    for (std::uint32_t f = 0; f < c.Frames; ++f) ASSERT_EQ(s.FrameData[f], frameOf(f, c.Channels)) << "frame " << f;
    EXPECT_EQ(filesLeft(), std::vector<std::string>{"show.fseq"});
  }
}

TEST_F(FseqWriter, AnUnfinishedSequenceLeavesTheTargetAsItWas) {
  const std::string path = (fFolder / "show.fseq").string();
  std::ofstream(path) << "the earlier export";
  const auto errorOf = [](const std::function<void()>& step) {
    try {
      step();
    } catch (const EFseqError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  for (const bool compress : {true, false}) {
    TFseqWriter writer(path, {4, 3, 50, compress, ""});
    writer.WriteFrame(Bytes(4, 1));
    EXPECT_EQ(errorOf([&] { writer.WriteFrame(Bytes(5, 1)); }), path + ": a frame of 5 channels in a sequence of 4");
    EXPECT_EQ(errorOf([&] { writer.Finish(); }), path + ": 1 frames written of the 3 announced");
  }
  {
    TFseqWriter abandoned(path, {4, 3, 50, true, ""});
    abandoned.WriteFrame(Bytes(4, 1));
  }
  EXPECT_EQ(errorOf([&] { TFseqWriter(path, {0, 3, 50, true, ""}); }), path + ": a frame needs 1 to 16777216 channels");
  EXPECT_EQ(errorOf([&] { TFseqWriter(path, {4, 1, 50, true, std::string(70000, 'm')}); }),
            path + ": the music file name is too long for the sequence's header");
  EXPECT_EQ(errorOf([&] { TFseqWriter((fFolder / "no" / "such.fseq").string(), {4, 1, 50, true, ""}); }),
            (fFolder / "no" / "such.fseq").string() + ": cannot write the file (No such file or directory)");
  // A FIFO at the name is refused, never renamed over.
  const std::string fifo = (fFolder / "pipe.fseq").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(errorOf([&] { TFseqWriter(fifo, {4, 1, 50, true, ""}); }),
            fifo + ": cannot write the file (it is not a regular file)");
  std::filesystem::remove(fifo);
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"show.fseq"});
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the earlier export");
}

}  // namespace
}  // namespace lumora::output
