#include "app/program_entry.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lumora {
namespace {

TEST(ProgramEntry, WhichStartsGoOn) {
  EXPECT_FALSE(HandedToRunningInstance("")) << "no argument only brings the window to the front";
  EXPECT_FALSE(HandedToRunningInstance("other.exe"));
  EXPECT_TRUE(HandedToRunningInstance("notes.txt")) << "the running player says why it does not play";
  EXPECT_TRUE(HandedToRunningInstance("/home/me/shows")) << "a folder, likewise";
  EXPECT_TRUE(HandedToRunningInstance("C:\\shows\\A.CTL"));
  EXPECT_TRUE(HandedToRunningInstance("grid.tol"));
  EXPECT_TRUE(HandedToRunningInstance("grid.COT")) << ".cot is handed over like .tol";
  EXPECT_TRUE(HandedToRunningInstance("list.lst"));

}

// A second start from another folder hands over a path the running player
// finds: relative names are made absolute.
TEST(ProgramEntry, StartsWorkWithAbsolutePaths) {
  const std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(StartPath("shows/../demo-waves.tol"), here + "/demo-waves.tol");
  EXPECT_EQ(StartPath("/srv/show.ctl"), "/srv/show.ctl");
  EXPECT_EQ(StartPath(""), "");
}

TEST(ProgramEntry, CopyDataRecord) {
  const std::string path = "C:\\shows\\A.CTL";
  ASSERT_EQ(path.size(), 14u);
  const std::vector<std::uint8_t> record = EncodeCopyData(path);
  ASSERT_EQ(record.size(), kCopyDataHeaderSize + 15);
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin(), record.begin() + 8),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 15, 0, 0, 0}))
      << "tag 0, then 15 bytes: the characters and the 0 byte";
  EXPECT_EQ(record[8], 'C');
  EXPECT_EQ(record.back(), 0);
  EXPECT_EQ(DecodeCopyData(record), path);
  EXPECT_EQ(DecodeCopyData(EncodeCopyData("")), "");
}

TEST(ProgramEntry, MalformedRecordsAreIgnored) {
  const std::vector<std::uint8_t> good = EncodeCopyData("show.ctl");
  auto changed = [&](auto edit) {
    std::vector<std::uint8_t> r = good;
    edit(r);
    return DecodeCopyData(r);
  };
  EXPECT_FALSE(DecodeCopyData({})) << "empty";
  EXPECT_FALSE(DecodeCopyData(std::span(good).first(7))) << "header cut short";
  EXPECT_FALSE(changed([](auto& r) { r.pop_back(); })) << "one byte fewer than counted";
  EXPECT_FALSE(changed([](auto& r) { r.push_back(0); })) << "one byte more than counted";
  EXPECT_FALSE(changed([](auto& r) { r.back() = 'x'; })) << "no terminating 0";
  EXPECT_FALSE(changed([](auto& r) { r[4] = 0; })) << "byte count 0";
  EXPECT_FALSE(changed([](auto& r) { r[7] = 0x80; })) << "absurd byte count";
  EXPECT_EQ(changed([](auto& r) { r[0] = 9; }), "show.ctl") << "the tag is not consulted";
  EXPECT_EQ(changed([](auto& r) { r[12] = 0; }), "show") << "read up to the first 0";
}

// A hand-off carries at most 64 KiB: a path of 65,535 bytes and its 0.
TEST(ProgramEntry, HandOffRecordsUpTo64KiB) {
  const std::string longest(65535, 'a');
  EXPECT_EQ(DecodeCopyData(EncodeCopyData(longest)), longest);
  EXPECT_FALSE(DecodeCopyData(EncodeCopyData(longest + "a")));
}

}  // namespace
}  // namespace lumora
