// An FSEQ 2.0 reader of the tests' own, written from the format's published
// description and sharing no code with the writer.
#pragma once

#include <zstd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumora::output {

using Bytes = std::vector<std::uint8_t>;

inline std::uint64_t little(const Bytes& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  return v;
}

struct TSequence {
  std::uint64_t DataOffset = 0, VariableOffset = 0, Channels = 0, Frames = 0, Step = 0, Compression = 0;
  std::uint64_t Blocks = 0, Sparse = 0, UniqueId = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> BlockTable;
  std::map<std::string, std::string> Variables;
  std::vector<Bytes> FrameData;
};

inline void readVariables(const Bytes& file, TSequence& s) {
  for (std::size_t at = s.VariableOffset; at + 4 <= s.DataOffset;) {
    const std::size_t length = little(file, at, 2);
    if (length < 4) break;
    const std::string code(file.begin() + at + 2, file.begin() + at + 4);
    std::string text(file.begin() + at + 4, file.begin() + at + length);
    EXPECT_EQ(text.back(), '\0') << code;
    text.pop_back();
    s.Variables[code] = text;
    at += length;
  }
}

// Each block a zstd frame that states its size, holding whole frames.
inline void readBlocks(const Bytes& file, TSequence& s) {
  std::size_t at = s.DataOffset;
  for (std::size_t b = 0; b < s.BlockTable.size(); ++b) {
    const auto [first, size] = s.BlockTable[b];
    const std::uint64_t end = b + 1 < s.BlockTable.size() ? s.BlockTable[b + 1].first : s.Frames;
    Bytes raw((end - first) * s.Channels);
    EXPECT_EQ(ZSTD_getFrameContentSize(file.data() + at, size), raw.size()) << "block " << b;
    EXPECT_EQ(ZSTD_decompress(raw.data(), raw.size(), file.data() + at, size), raw.size()) << "block " << b;
    for (std::uint64_t f = 0; f < end - first; ++f) {
      s.FrameData.emplace_back(raw.begin() + f * s.Channels, raw.begin() + (f + 1) * s.Channels);
    }
    at += size;
  }
  EXPECT_EQ(at, file.size()) << "the blocks fill the file";
}

inline TSequence readSequence(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  TSequence s;
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "PSEQ");
  s.DataOffset = little(file, 4, 2);
  EXPECT_EQ(file[6], 0) << "minor version";
  EXPECT_EQ(file[7], 2) << "major version";
  s.VariableOffset = little(file, 8, 2);
  s.Channels = little(file, 10, 4);
  s.Frames = little(file, 14, 4);
  s.Step = file[18];
  EXPECT_EQ(file[19], 0) << "flags";
  s.Compression = file[20] & 0x0F;
  s.Blocks = (std::uint64_t(file[20] >> 4) << 8) | file[21];
  s.Sparse = file[22];
  EXPECT_EQ(file[23], 0) << "reserved";
  s.UniqueId = little(file, 24, 8);
  for (std::size_t b = 0; b < s.Blocks; ++b) s.BlockTable.emplace_back(little(file, 32 + 8 * b, 4), little(file, 36 + 8 * b, 4));
  EXPECT_EQ(s.VariableOffset, 32 + 8 * s.Blocks + 6 * s.Sparse);
  EXPECT_EQ(s.DataOffset % 4, 0u);
  readVariables(file, s);
  if (s.Compression == 1) {
    readBlocks(file, s);
  } else {
    EXPECT_EQ(file.size(), s.DataOffset + s.Frames * s.Channels);
    for (std::uint64_t f = 0; f < s.Frames; ++f) {
      const auto start = file.begin() + static_cast<std::ptrdiff_t>(s.DataOffset + f * s.Channels);
      s.FrameData.emplace_back(start, start + static_cast<std::ptrdiff_t>(s.Channels));
    }
  }
  return s;
}

}  // namespace lumora::output
