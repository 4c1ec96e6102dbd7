#include "grid/frame_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/load_error.h"

namespace lumora {
namespace {

std::string scratchDir() {
  const auto dir = std::filesystem::temp_directory_path() / ("lumora_frame_data_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir.string() + "/";
}

TFrameData frameOf(std::int32_t rows, std::int32_t columns, std::uint8_t seed) {
  TFrameData f(rows, columns);
  std::uint8_t v = seed;
  for (std::uint8_t& b : f.Data()) b = static_cast<std::uint8_t>(v++ & 0x7F);
  return f;
}

std::unique_ptr<TSection> sectionOf(std::int32_t frames, std::int32_t rows, std::int32_t columns) {
  auto section = std::make_unique<TSection>();
  for (std::int32_t i = 0; i < frames; ++i) {
    auto f = std::make_unique<TFrameData>();
    f->Assign(frameOf(rows, columns, static_cast<std::uint8_t>(i * 7)));
    section->Add(std::move(f));
  }
  return section;
}

// Layers written as one list record and read back whole, to its end.
bool readBack(const TFrameDataLayers& layers, TFrameDataLayers& read) {
  TStreamWriter w;
  layers.WriteToStream(w);
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "list");
  return read.ReadFromStream(reader) && reader.AtEnd();
}

TEST(FrameData, SevenBitCellsAndRanges) {
  TFrameData f(2, 3);
  EXPECT_EQ(f.Data().size(), 18u);
  f.Data()[(2 + 1 * 3) * 3] = 127;
  EXPECT_EQ(f.CellColor(1, 2), 254) << "stored 127 reads back as 254";
  EXPECT_EQ(f.CellColor(0, 0), 0) << "0 stays 0";
  f.SetCell(0, 1, 0x00FF8001);
  EXPECT_EQ(f.Data()[3], 0);
  EXPECT_EQ(f.Data()[4], 64);
  EXPECT_EQ(f.Data()[5], 127);
  EXPECT_EQ(f.CellColor(0, 1), 0x00FE8000);

  const std::vector<std::uint8_t> before(f.Data().begin(), f.Data().end());
  f.SetCell(0, 3, 0xFFFFFF);   // c = Columns
  f.SetCell(2, 0, 0xFFFFFF);   // r = Rows
  f.SetCell(-1, 0, 0xFFFFFF);
  EXPECT_EQ(std::vector<std::uint8_t>(f.Data().begin(), f.Data().end()), before) << "out-of-range SetCell";
  EXPECT_EQ(f.CellColor(0, 3), 0) << "out-of-range CellColor";

  f.SetSize(-4, 5);
  EXPECT_EQ(f.Rows(), 0);
  EXPECT_EQ(f.Columns(), 5);
  EXPECT_TRUE(f.Data().empty());
  EXPECT_THROW(f.SetSize(1 << 13, 1 << 13), std::length_error);
  EXPECT_EQ(f.Columns(), 5) << "a refused size leaves the frame";

  f.SetSize(4096, 4096);
  EXPECT_EQ(f.Data().size(), std::size_t{3} << 24) << "the largest frame, 2^24 cells";
  EXPECT_THROW(f.SetSize(4096, 4097), std::length_error);
}

TEST(FrameData, LegacyCellsTakeFourBitChannelsTimesSeventeen) {
  TStreamWriter w;
  w.WriteU16(0x0F80);  // red 15, green 8, blue 0
  w.WriteU16(0x0001);
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "legacy");
  TFrameData f(1, 2);
  ASSERT_TRUE(f.ReadLegacy(reader));
  EXPECT_EQ(f.Data()[0], 127);  // 255 >> 1
  EXPECT_EQ(f.Data()[1], 68);   // 136 >> 1
  EXPECT_EQ(f.Data()[2], 0);
  EXPECT_EQ(f.Data()[5], 8);    // 17 >> 1
  TStreamWriter back;
  f.WriteLegacy(back);
  EXPECT_EQ(back.Data(), w.Data());
}

TEST(Section, RecordWithoutFramesHasNoSizeFields) {
  TSection empty;
  empty.StoredValue = 33;
  TStreamWriter w;
  empty.WriteToStream(w);
  EXPECT_EQ(w.Data(), (std::vector<std::uint8_t>{1, 33, 0, 0, 0, 0, 0, 0, 0}));

  // F = 0 followed by the next record's bytes: nothing of them is taken.
  w.WriteU8(0xEE);
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "section");
  TSection read;
  TGridBudget budget;
  ASSERT_TRUE(read.ReadFromStream(reader, budget));
  EXPECT_EQ(read.Count(), 0);
  EXPECT_EQ(read.StoredValue, 33);
  EXPECT_EQ(reader.Position(), 9u);
}

TEST(Section, TruncatedRecordKeepsTheWholeFramesRead) {
  auto section = sectionOf(3, 2, 2);
  TStreamWriter w;
  section->WriteToStream(w);
  std::vector<std::uint8_t> cut = w.Data();
  cut.resize(cut.size() - 5);  // the third frame loses 5 of its 12 bytes
  TMemoryInput input(cut);
  TStreamReader reader(input, "cut");
  TSection read;
  TGridBudget budget;
  EXPECT_FALSE(read.ReadFromStream(reader, budget));
  ASSERT_EQ(read.Count(), 2);
  EXPECT_EQ(std::vector<std::uint8_t>(read.Items(1).Data().begin(), read.Items(1).Data().end()),
            std::vector<std::uint8_t>(section->Items(1).Data().begin(), section->Items(1).Data().end()));
}

TEST(Section, HostileCountsRaiseInsteadOfAllocating) {
  TStreamWriter w;
  w.WriteU8(1);
  w.WriteS32(16);
  w.WriteS32(0x7FFFFFFF);  // frames
  w.WriteS32(0);           // rows: empty frames carry no data
  w.WriteS32(0);
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "hostile.ctl");
  TSection read;
  TGridBudget budget;
  try {
    read.ReadFromStream(reader, budget);
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_NE(std::string(e.what()).find("hostile.ctl: "), std::string::npos) << e.what();
  }

  TStreamWriter big;
  big.WriteU8(1);
  big.WriteS32(16);
  big.WriteS32(1);
  big.WriteS32(1 << 30);
  big.WriteS32(1 << 30);
  TMemoryInput bigInput(big.Data());
  TStreamReader bigReader(bigInput, "big.ctl");
  TGridBudget budget2;
  EXPECT_THROW(read.ReadFromStream(bigReader, budget2), TLoadError);
}

// A grid animation holds at most 262,144 frames in at most 65,536 frame
// lists, summed over all its layers.
TEST(GridBudget, FramesAndFrameListsUpToTheirLimits) {
  TMemoryInput input(std::vector<std::uint8_t>{});
  TStreamReader reader(input, "grid.ctl");
  TGridBudget budget;
  budget.AddFrames(reader, kMaxGridFrames - 1);
  budget.AddFrames(reader, 1);
  EXPECT_EQ(test::LoadErrorOf([&] { budget.AddFrames(reader, 1); }),
            "grid.ctl: the grid animation has more than 262144 frames");
  for (std::int64_t i = 0; i < kMaxGridSections; ++i) budget.AddSection(reader);
  EXPECT_EQ(test::LoadErrorOf([&] { budget.AddSection(reader); }),
            "grid.ctl: the grid animation has more than 65536 frame lists");
}

// 64 grid layers read back; a list that declares 65 is refused.
TEST(FrameDataLayers, AtMost64GridLayers) {
  TFrameDataLayers layers;
  for (std::int64_t i = 0; i < kMaxGridLayers; ++i) {
    auto layer = std::make_unique<TFrameDataLayer>();
    layer->SetRows(1);
    layer->SetColumns(1);
    layer->Add(sectionOf(1, 1, 1));
    layers.Add(std::move(layer));
  }
  TFrameDataLayers read;
  ASSERT_TRUE(readBack(layers, read));
  EXPECT_EQ(read.Count(), 64);

  TStreamWriter past;
  past.WriteS32(65);
  TMemoryInput pastInput(past.Data());
  TStreamReader pastReader(pastInput, "past.ctl");
  EXPECT_EQ(test::LoadErrorOf([&] { read.ReadFromStream(pastReader); }), "past.ctl: the movie has 65 grid layers");
}

TEST(FrameDataLayer, RecordRoundTripWithSectionsAndLines) {
  TFrameDataLayer layer;
  layer.CellWidth = 12;
  layer.CellHeight = 9;
  layer.SetRows(2);
  layer.SetColumns(3);
  layer.Param = -5;
  layer.GridFlag = 1;
  layer.Current = 0;
  layer.StoredValue = 21;
  layer.GridColor = 0x123456;
  layer.Add(sectionOf(2, 2, 3));
  layer.Add(sectionOf(0, 0, 0));
  layer.HasLines = 1;
  TLineData line;
  for (std::size_t i = 0; i < line.Values.size(); ++i) line.Values[i] = static_cast<std::int32_t>(i * 100 - 7);
  line.Flag = 9;
  layer.Lines = {line, TLineData{}};

  TStreamWriter w;
  layer.WriteToStream(w);
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "layer");
  TFrameDataLayer read;
  TGridBudget budget;
  ASSERT_TRUE(read.ReadFromStream(reader, budget));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(read.CellWidth, 12);
  EXPECT_EQ(read.CellHeight, 9);
  EXPECT_EQ(read.Rows(), 2);
  EXPECT_EQ(read.Columns(), 3);
  EXPECT_EQ(read.WorkFrame().Rows(), 0) << "the record leaves WorkFrame untouched";
  EXPECT_EQ(read.Param, -5);
  EXPECT_EQ(read.GridFlag, 1);
  EXPECT_EQ(read.Current, 0);
  EXPECT_EQ(read.StoredValue, 21);
  EXPECT_EQ(read.GridColor, 0x123456);
  ASSERT_EQ(read.Count(), 2);
  EXPECT_EQ(read.Items(0).Count(), 2);
  EXPECT_EQ(read.Items(0).Items(1).CellColor(1, 2), layer.Items(0).Items(1).CellColor(1, 2));
  EXPECT_EQ(read.HasLines, 1);
  ASSERT_EQ(read.Lines.size(), 2u);
  EXPECT_EQ(read.Lines[0].Values, line.Values);
  EXPECT_EQ(read.Lines[0].Flag, 9);
  ASSERT_NE(read.LineFrame(), nullptr);
  EXPECT_EQ(read.LineFrame()->Rows(), 2);
  EXPECT_EQ(read.LineFrame()->Columns(), 3);
}

TEST(FrameDataLayers, ListRecordRoundTripAndCurrentLayer) {
  TFrameDataLayers layers;
  EXPECT_EQ(layers.CurrentLayer(), nullptr);
  for (int i = 0; i < 2; ++i) {
    auto layer = std::make_unique<TFrameDataLayer>();
    layer->SetRows(1);
    layer->SetColumns(2);
    layer->Current = static_cast<std::uint8_t>(i);
    layer->Add(sectionOf(i + 1, 1, 2));
    layers.Add(std::move(layer));
  }
  TFrameDataLayers read;
  ASSERT_TRUE(readBack(layers, read));
  ASSERT_EQ(read.Count(), 2);
  EXPECT_EQ(read.CurrentLayer(), &read.Items(1));
  EXPECT_EQ(read.Items(1).FrameCount(), 2);

  read.ResetToSingle();
  ASSERT_EQ(read.Count(), 1);
  EXPECT_EQ(read.Items(0).Count(), 1);
  EXPECT_EQ(read.Items(0).FrameCount(), 0);
}

TEST(FrameDataLayers, MergeFramesRepeatsShorterAnimations) {
  TFrameDataLayers layers;
  auto three = std::make_unique<TFrameDataLayer>();
  three->Add(sectionOf(2, 1, 1));
  three->Add(sectionOf(1, 1, 1));
  auto five = std::make_unique<TFrameDataLayer>();
  five->Add(sectionOf(5, 1, 1));
  auto none = std::make_unique<TFrameDataLayer>();
  none->Add(std::make_unique<TSection>());
  TFrameDataLayer& a = *three;
  TFrameDataLayer& b = *five;
  TFrameDataLayer& c = *none;
  layers.Add(std::move(three));
  layers.Add(std::move(five));
  layers.Add(std::move(none));
  layers.MergeFrames();
  ASSERT_EQ(a.Merged.size(), 5u);
  const std::vector<TFrameData*> expected = {&a.Items(0).Items(0), &a.Items(0).Items(1), &a.Items(1).Items(0),
                                             &a.Items(0).Items(0), &a.Items(0).Items(1)};
  EXPECT_EQ(a.Merged, expected) << "frames 0, 1, 2, 0, 1";
  EXPECT_EQ(b.Merged.size(), 5u);
  EXPECT_TRUE(c.Merged.empty()) << "a layer without frames keeps an empty Merged";

  a.Merged = {expected[0], expected[1]};
  a.ExtendMerged(7);
  EXPECT_EQ(a.Merged.size(), 7u) << "k = 2, n = 7: 2 + 2 × 2 + 1";
  EXPECT_EQ(a.Merged[6], expected[0]);
  TFrameDataLayers empty;
  empty.MergeFrames();
}

TEST(GridFile, TolAndCotRoundTrips) {
  const std::string dir = scratchDir();
  TFrameDataLayer layer;
  layer.SetRows(2);
  layer.SetColumns(3);
  layer.CellWidth = 20;
  layer.CellHeight = 10;
  layer.GridFlag = 1;
  layer.Add(sectionOf(4, 2, 3));

  const auto tol = layer.SaveToTol();
  ASSERT_EQ(tol.size(), 14u + 4 * 2 * 3 * 3);
  EXPECT_EQ(tol[3], 4) << "big-endian frame count";
  EXPECT_EQ(tol[5], 2);
  EXPECT_EQ(tol[7], 3);
  WriteFileBytes(dir + "show.tol", tol);
  WriteFileBytes(dir + "show.cot", layer.SaveToCot());

  for (const std::string name : {"show.tol", "show.cot"}) {
    TFrameDataLayer read;
    read.Add(sectionOf(1, 1, 1));
    read.LoadFromFile(dir + name);
    EXPECT_EQ(read.Rows(), 2) << name;
    EXPECT_EQ(read.Columns(), 3) << name;
    EXPECT_EQ(read.WorkFrame().Rows(), 2) << name;
    EXPECT_EQ(read.WorkFrame().Columns(), 3) << name;
    EXPECT_EQ(read.CellWidth, 20) << name;
    EXPECT_EQ(read.CellHeight, 10) << name;
    EXPECT_EQ(read.GridFlag, 1) << name;
    ASSERT_EQ(read.Count(), 1) << name << ": the old sections are replaced";
    ASSERT_EQ(read.Items(0).Count(), 4) << name;
    for (int i = 0; i < 4; ++i) {
      const auto got = read.Items(0).Items(i).Data();
      const auto want = layer.Items(0).Items(i).Data();
      EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin(), want.end())) << name << " frame " << i;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(GridFile, CotTagVersionAndPathRules) {
  const std::string dir = scratchDir();
  TFrameDataLayer layer;
  layer.SetRows(1);
  layer.SetColumns(1);
  layer.Add(sectionOf(2, 1, 1));
  auto cot = layer.SaveToCot();

  auto wrongTag = cot;
  wrongTag[0] = 'C';
  auto wrongVersion = cot;
  wrongVersion[4] = 2;
  WriteFileBytes(dir + "tag.cot", wrongTag);
  WriteFileBytes(dir + "version.cot", wrongVersion);
  for (const std::string name : {"tag.cot", "version.cot"}) {
    TFrameDataLayer read;
    read.Add(sectionOf(3, 1, 1));
    EXPECT_NO_THROW(read.LoadFromFile(dir + name)) << name;
    EXPECT_EQ(read.Items(0).Count(), 3) << name << " leaves the layer untouched";
    EXPECT_EQ(read.Rows(), 0) << name;
  }

  // Any path containing "cot" is a .cot file, whatever its extension.
  std::filesystem::create_directories(dir + "mascot");
  WriteFileBytes(dir + "mascot/show.tol", cot);
  TFrameDataLayer read;
  read.LoadFromFile(dir + "mascot/show.tol");
  EXPECT_EQ(read.Items(0).Count(), 2);

  // "COT" is not "cot": the .cot bytes are then taken as a .tol file.
  WriteFileBytes(dir + "SHOW.COT", layer.SaveToTol());
  TFrameDataLayer upper;
  upper.LoadFromFile(dir + "SHOW.COT");
  EXPECT_EQ(upper.Items(0).Count(), 2);
  std::filesystem::remove_all(dir);
}

TEST(GridFile, TruncatedAndMissingFilesRaiseNamingTheFile) {
  const std::string dir = scratchDir();
  TFrameDataLayer layer;
  layer.SetRows(2);
  layer.SetColumns(2);
  layer.Add(sectionOf(3, 2, 2));
  auto tol = layer.SaveToTol();
  tol.resize(tol.size() - 1);
  WriteFileBytes(dir + "cut.tol", tol);
  TFrameDataLayer read;
  read.Add(sectionOf(1, 1, 1));
  try {
    read.LoadFromFile(dir + "cut.tol");
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_EQ(std::string(e.what()), dir + "cut.tol: the data ends in frame 3 of 3");
  }
  EXPECT_EQ(read.Items(0).Count(), 1) << "the sections stay as they were";

  EXPECT_THROW(read.LoadFromFile(dir + "missing.tol"), TLoadError);

  TStreamWriter huge;
  huge.WriteU32BE(0);
  huge.WriteU16BE(65535);
  huge.WriteU16BE(65535);
  huge.WriteU32BE(0);
  huge.WriteU16BE(0);
  WriteFileBytes(dir + "huge.tol", huge.Data());
  EXPECT_THROW(read.LoadFromFile(dir + "huge.tol"), TLoadError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumora
