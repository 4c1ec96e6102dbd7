// TFseqWriter: the channels of every frame of a show as an FSEQ 2.0
// sequence, the file open-source pixel players play. Frames stream to a
// temporary file beside the target (see io/pending_file.h), compressed
// block by block; the header and block table are written at the end and
// the file renamed into place, so that no half-written sequence ever
// carries the requested name.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/pending_file.h"

namespace lumora::output {

class EFseqError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TFseqOptions {
  std::uint32_t ChannelCount = 0;
  // The frames the show has; Finish refuses a sequence with fewer.
  std::uint32_t FrameCount = 0;
  // Milliseconds a frame, 1–255.
  std::uint8_t StepMs = 50;
  // zstd blocks; false writes the frames as they are.
  bool Compress = true;
  // The movie's music file, named in the sequence; empty for none.
  std::string MusicFile;
};

class TFseqWriter {
 public:
  // Opens the temporary file; EFseqError names the target and the reason.
  TFseqWriter(const std::string& path, const TFseqOptions& options);
  // Unfinished: the temporary file goes, the target stays as it was.
  ~TFseqWriter();
  TFseqWriter(const TFseqWriter&) = delete;
  TFseqWriter& operator=(const TFseqWriter&) = delete;

  // One frame of exactly ChannelCount channels.
  void WriteFrame(std::span<const std::uint8_t> channels);
  // Writes the header and block table and renames the file into place.
  void Finish();

 private:
  struct TBlock {
    std::uint32_t FirstFrame = 0;
    std::uint32_t Bytes = 0;
  };
  struct TCompressor;

  [[noreturn]] void fail(const std::string& what) const;
  void planBlocks();
  std::vector<std::uint8_t> header() const;
  void writeBytes(const void* data, std::size_t size);
  void compressFrame(std::span<const std::uint8_t> channels);
  void endBlock();

  std::string fPath;
  TFseqOptions fOptions;
  std::optional<TPendingFile> fFile;
  std::ofstream fOut;
  std::uint64_t fUniqueId = 0;
  std::uint32_t fDataOffset = 0;
  std::uint32_t fFramesWritten = 0;
  // Frames of the first block and of each later one; the block table.
  std::uint32_t fFirstBlockFrames = 0;
  std::uint32_t fBlockFrames = 0;
  std::vector<TBlock> fBlocks;
  std::size_t fBlockIndex = 0;
  std::unique_ptr<TCompressor> fCompressor;
  bool fFinished = false;
};

}  // namespace lumora::output
