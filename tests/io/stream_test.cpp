#include "io/stream.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace lumora {
namespace {

TEST(StreamReader, ValuesAreReadWholeOrNotAtAll) {
  const std::vector<std::uint8_t> data = {0x01, 0x02, 0x03, 0x04, 0xAB, 0xCD, 0x7F};
  TMemoryInput input(data);
  TStreamReader reader(input, "mem");
  std::uint32_t le = 0;
  std::uint16_t be = 0;
  EXPECT_TRUE(reader.ReadU32(le));
  EXPECT_EQ(le, 0x04030201u);
  EXPECT_TRUE(reader.ReadU16BE(be));
  EXPECT_EQ(be, 0xABCD);
  EXPECT_TRUE(reader.Has(1));
  EXPECT_FALSE(reader.Has(2));
  std::int32_t tooLong = 77;
  EXPECT_FALSE(reader.ReadS32(tooLong)) << "only one byte remains";
  EXPECT_EQ(tooLong, 77) << "a short read leaves the field as it was";
  EXPECT_TRUE(reader.AtEnd()) << "and ends the data";
  EXPECT_EQ(reader.Position(), 7u);
  EXPECT_FALSE(reader.Has(std::uint64_t{1} << 40));
}

TEST(StreamWriter, LittleAndBigEndianLayouts) {
  TStreamWriter w;
  w.WriteS32(-2);
  w.WriteU16BE(0x1234);
  w.WriteFloat(1.0f);
  EXPECT_EQ(w.Data(), (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF, 0x12, 0x34, 0, 0, 0x80, 0x3F}));
  TMemoryInput input(w.Data());
  TStreamReader reader(input, "mem");
  std::int32_t s = 0;
  std::uint16_t u = 0;
  float f = 0;
  EXPECT_TRUE(reader.ReadS32(s) && reader.ReadU16BE(u) && reader.ReadFloat(f));
  EXPECT_EQ(s, -2);
  EXPECT_EQ(u, 0x1234);
  EXPECT_EQ(f, 1.0f);
}

std::vector<std::uint8_t> counting(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
  return v;
}

TEST(InflateStream, IncrementalRoundTripAndEnds) {
  const auto plain = counting(300000);
  auto packed = DeflateBytes(plain);
  packed.push_back(0x99);  // trailing bytes after the stream are not read
  TMemoryInput input(packed);
  TInflateStream inflater(input, "body");
  TStreamReader reader(inflater, "body");
  std::vector<std::uint8_t> got(plain.size());
  ASSERT_TRUE(reader.ReadBytes(got));
  EXPECT_EQ(got, plain);
  EXPECT_TRUE(reader.AtEnd());

  // Compressed data that ends early ends the output without an error.
  std::vector<std::uint8_t> cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2));
  TMemoryInput cutInput(cut);
  TInflateStream cutInflater(cutInput, "cut");
  TStreamReader cutReader(cutInflater, "cut");
  std::vector<std::uint8_t> all(plain.size());
  const std::size_t n = cutReader.ReadSome(all);
  EXPECT_GT(n, 0u);
  EXPECT_LT(n, plain.size());
  EXPECT_TRUE(std::equal(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), plain.begin()));
}

TEST(InflateStream, CorruptDataRaisesAfterWhatWasRead) {
  const auto plain = counting(200000);
  auto packed = DeflateBytes(plain);
  packed[packed.size() - 2] ^= 0x5A;  // the Adler-32 trailer
  TMemoryInput input(packed);
  TInflateStream inflater(input, "show.ctl");
  TStreamReader reader(inflater, "show.ctl");
  std::uint8_t first[16];
  ASSERT_TRUE(reader.ReadBytes(first));
  EXPECT_TRUE(std::equal(first, first + 16, plain.begin()));
  try {
    std::vector<std::uint8_t> rest(plain.size());
    reader.ReadBytes(rest);
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("show.ctl: corrupt compressed data", 0), 0u) << e.what();
  }

  const std::vector<std::uint8_t> garbage = {1, 2, 3, 4, 5};
  TMemoryInput garbageInput(garbage);
  TInflateStream garbageInflater(garbageInput, "g");
  TStreamReader garbageReader(garbageInflater, "g");
  EXPECT_THROW(garbageReader.AtEnd(), TLoadError);
}

TEST(InflateStream, InflatedSizeIsCapped) {
  const std::vector<std::uint8_t> zeros(100000, 0);
  const auto packed = DeflateBytes(zeros);
  TMemoryInput input(packed);
  TInflateStream inflater(input, "bomb.ctl", 65536);
  TStreamReader reader(inflater, "bomb.ctl");
  try {
    reader.Skip(100000);
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_EQ(std::string(e.what()), "bomb.ctl: the compressed body inflates to more than 65536 bytes");
  }
  TMemoryInput exact(packed);
  TInflateStream exactInflater(exact, "exact", 100000);
  TStreamReader exactReader(exactInflater, "exact");
  EXPECT_EQ(exactReader.Skip(200000), 100000u) << "exactly the cap is allowed";
}

TEST(TempDirectory, EndsWithASeparator) {
  const std::string dir = TempDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
}

}  // namespace
}  // namespace lumora
