#include "output/fseq_writer.h"

#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "output/byte_order_p.h"
#include "output/channel_patch.h"

#ifndef LUMORA_VERSION
#define LUMORA_VERSION "0.1.0"
#endif

namespace lumora::output {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kBlockEntrySize = 8;
constexpr std::uint32_t kFirstBlockFrames = 10;
constexpr std::uint32_t kBlockBytes = 64 * 1024;
// The block count has 12 bits.
constexpr std::uint32_t kMaxBlocks = 4095;
constexpr std::uint8_t kCompressionNone = 0;
constexpr std::uint8_t kCompressionZstd = 1;

// A variable header: its length (head included), its code and its text
// with the closing NUL.
void appendVariableHeader(std::vector<std::uint8_t>& out, const char code[2], const std::string& text) {
  const std::size_t at = out.size();
  out.resize(at + 4);
  PutLittle(out.data() + at, 4 + text.size() + 1, 2);
  out[at + 2] = static_cast<std::uint8_t>(code[0]);
  out[at + 3] = static_cast<std::uint8_t>(code[1]);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

std::uint64_t microsecondsNow() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

struct TFseqWriter::TCompressor {
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> Context{ZSTD_createCCtx(), ZSTD_freeCCtx};
  std::vector<std::uint8_t> Buffer = std::vector<std::uint8_t>(ZSTD_CStreamOutSize());
};

TFseqWriter::TFseqWriter(const std::string& path, const TFseqOptions& options)
    : fPath(path), fOptions(options), fUniqueId(microsecondsNow()) {
  if (options.ChannelCount == 0 || options.ChannelCount > kMaxChannels) {
    fail("a frame needs 1 to " + std::to_string(kMaxChannels) + " channels");
  }
  if (options.FrameCount == 0) fail("a sequence needs at least one frame");
  if (options.StepMs == 0) fail("a frame needs at least 1 ms");
  if (options.Compress) planBlocks();
  const std::vector<std::uint8_t> head = header();
  if (head.size() > 0xFFFF) fail("the music file name is too long for the sequence's header");
  fDataOffset = static_cast<std::uint32_t>(head.size());
  if (options.Compress) {
    fCompressor = std::make_unique<TCompressor>();
    if (!fCompressor->Context) fail("cannot start the compressor");
  }
  try {
    fFile.emplace(path);
  } catch (const TWriteError& error) {
    fail(error.what());
  }
  fOut.open(fFile->TemporaryPath(), std::ios::binary | std::ios::trunc);
  if (!fOut) fail("cannot create " + fFile->TemporaryPath());
  fOut.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  if (!fOut) fail("cannot write " + fFile->TemporaryPath());
}

// An unfinished file's temporary name goes with fFile.
TFseqWriter::~TFseqWriter() = default;

void TFseqWriter::fail(const std::string& what) const { throw EFseqError(fPath + ": " + what); }

// The first block holds a few frames so that a player starts at once; the
// others about 64 KiB of channels each, fewer and larger when a long show
// would need more blocks than the table can hold.
void TFseqWriter::planBlocks() {
  const std::uint32_t frames = fOptions.FrameCount;
  fFirstBlockFrames = std::min(kFirstBlockFrames, frames);
  const std::uint64_t rest = frames - fFirstBlockFrames;
  fBlockFrames = std::max<std::uint32_t>(1, kBlockBytes / fOptions.ChannelCount);
  if ((rest + fBlockFrames - 1) / fBlockFrames > kMaxBlocks - 1) {
    fBlockFrames = static_cast<std::uint32_t>((rest + kMaxBlocks - 2) / (kMaxBlocks - 1));
  }
  fBlocks.push_back({0, 0});
  for (std::uint64_t first = fFirstBlockFrames; first < frames; first += fBlockFrames) {
    fBlocks.push_back({static_cast<std::uint32_t>(first), 0});
  }
}

std::vector<std::uint8_t> TFseqWriter::header() const {
  const std::size_t blocks = fBlocks.size();
  std::vector<std::uint8_t> out(kHeaderSize + kBlockEntrySize * blocks, 0);
  std::memcpy(out.data(), "PSEQ", 4);
  out[6] = 0;
  out[7] = 2;
  PutLittle(out.data() + 8, out.size(), 2);
  PutLittle(out.data() + 10, fOptions.ChannelCount, 4);
  PutLittle(out.data() + 14, fOptions.FrameCount, 4);
  out[18] = fOptions.StepMs;
  out[20] = static_cast<std::uint8_t>((fOptions.Compress ? kCompressionZstd : kCompressionNone) | ((blocks >> 8) << 4));
  out[21] = static_cast<std::uint8_t>(blocks & 0xFF);
  PutLittle(out.data() + 24, fUniqueId, 8);
  for (std::size_t b = 0; b < blocks; ++b) {
    PutLittle(out.data() + kHeaderSize + kBlockEntrySize * b, fBlocks[b].FirstFrame, 4);
    PutLittle(out.data() + kHeaderSize + kBlockEntrySize * b + 4, fBlocks[b].Bytes, 4);
  }
  appendVariableHeader(out, "sp", std::string("Lumora Stage ") + LUMORA_VERSION);
  if (!fOptions.MusicFile.empty()) appendVariableHeader(out, "mf", fOptions.MusicFile);
  out.resize((out.size() + 3) / 4 * 4, 0);
  PutLittle(out.data() + 4, out.size(), 2);
  return out;
}

void TFseqWriter::writeBytes(const void* data, std::size_t size) {
  fOut.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!fOut) fail("cannot write " + fFile->TemporaryPath());
}

void TFseqWriter::WriteFrame(std::span<const std::uint8_t> channels) {
  if (fFinished) fail("the sequence is already finished");
  if (channels.size() != fOptions.ChannelCount) {
    fail("a frame of " + std::to_string(channels.size()) + " channels in a sequence of " +
         std::to_string(fOptions.ChannelCount));
  }
  if (fFramesWritten == fOptions.FrameCount) fail("more frames than the " + std::to_string(fOptions.FrameCount) + " announced");
  if (fCompressor) {
    compressFrame(channels);
  } else {
    writeBytes(channels.data(), channels.size());
  }
  ++fFramesWritten;
  const bool blockEnds = fBlockIndex + 1 < fBlocks.size() ? fFramesWritten == fBlocks[fBlockIndex + 1].FirstFrame
                                                          : fFramesWritten == fOptions.FrameCount;
  if (fCompressor && blockEnds) endBlock();
}

void TFseqWriter::compressFrame(std::span<const std::uint8_t> channels) {
  if (fFramesWritten == fBlocks[fBlockIndex].FirstFrame) {
    // Each block is a zstd frame that states its size, for readers that
    // size their buffer from it.
    const std::uint32_t end = fBlockIndex + 1 < fBlocks.size() ? fBlocks[fBlockIndex + 1].FirstFrame : fOptions.FrameCount;
    const std::size_t status = ZSTD_CCtx_setPledgedSrcSize(fCompressor->Context.get(),
                                                           std::uint64_t{end - fFramesWritten} * fOptions.ChannelCount);
    if (ZSTD_isError(status)) fail(std::string("cannot compress: ") + ZSTD_getErrorName(status));
  }
  ZSTD_inBuffer in{channels.data(), channels.size(), 0};
  while (in.pos < in.size) {
    ZSTD_outBuffer out{fCompressor->Buffer.data(), fCompressor->Buffer.size(), 0};
    const std::size_t status = ZSTD_compressStream2(fCompressor->Context.get(), &out, &in, ZSTD_e_continue);
    if (ZSTD_isError(status)) fail(std::string("cannot compress: ") + ZSTD_getErrorName(status));
    writeBytes(out.dst, out.pos);
    if (out.pos > UINT32_MAX - fBlocks[fBlockIndex].Bytes) fail("a compressed block grew past 4 GiB");
    fBlocks[fBlockIndex].Bytes += static_cast<std::uint32_t>(out.pos);
  }
}

void TFseqWriter::endBlock() {
  ZSTD_inBuffer in{nullptr, 0, 0};
  std::size_t remaining = 0;
  do {
    ZSTD_outBuffer out{fCompressor->Buffer.data(), fCompressor->Buffer.size(), 0};
    remaining = ZSTD_compressStream2(fCompressor->Context.get(), &out, &in, ZSTD_e_end);
    if (ZSTD_isError(remaining)) fail(std::string("cannot compress: ") + ZSTD_getErrorName(remaining));
    writeBytes(out.dst, out.pos);
    if (out.pos > UINT32_MAX - fBlocks[fBlockIndex].Bytes) fail("a compressed block grew past 4 GiB");
    fBlocks[fBlockIndex].Bytes += static_cast<std::uint32_t>(out.pos);
  } while (remaining != 0);
  ++fBlockIndex;
}

void TFseqWriter::Finish() {
  if (fFinished) return;
  if (fFramesWritten != fOptions.FrameCount) {
    fail(std::to_string(fFramesWritten) + " frames written of the " + std::to_string(fOptions.FrameCount) +
         " announced");
  }
  const std::vector<std::uint8_t> head = header();
  fOut.seekp(0);
  writeBytes(head.data(), head.size());
  fOut.close();
  if (!fOut) fail("cannot write " + fFile->TemporaryPath());
  try {
    fFile->Commit();
  } catch (const TWriteError& error) {
    fail(error.what());
  }
  fFinished = true;
}

}  // namespace lumora::output
