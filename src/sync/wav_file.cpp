#include "sync/wav_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "io/stream.h"
#include "render/little_endian.h"

namespace lumora::sync {

namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;
// A format chunk larger than this is not a WAV format chunk.
constexpr std::uint32_t kMaxFormatChunk = 256;

std::uint16_t u16At(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::span<const std::uint8_t> tag(const char (&name)[5]) { return {reinterpret_cast<const std::uint8_t*>(name), 4}; }

std::vector<std::uint8_t> monoHeader(std::uint32_t dataSize, std::uint32_t sampleRate) {
  TStreamWriter out;
  out.WriteBytes(tag("RIFF"));
  out.WriteU32(36 + dataSize);
  out.WriteBytes(tag("WAVE"));
  out.WriteBytes(tag("fmt "));
  out.WriteU32(16);
  out.WriteU16(kPcm);
  out.WriteU16(1);
  out.WriteU32(sampleRate);
  out.WriteU32(sampleRate * 2);
  out.WriteU16(2);
  out.WriteU16(16);
  out.WriteBytes(tag("data"));
  out.WriteU32(dataSize);
  return out.Data();
}

}  // namespace

void WriteWav(const std::string& path, std::span<const std::int16_t> samples, std::uint32_t sampleRate) {
  TStreamWriter out;
  out.WriteBytes(monoHeader(static_cast<std::uint32_t>(samples.size() * 2), sampleRate));
  for (const std::int16_t s : samples) out.WriteS16(s);
  WriteFileBytes(path, out.Data());
}

TWavStream::TWavStream(const std::string& path, std::uint32_t sampleRate)
    : fFile(path, std::ios::binary | std::ios::trunc), fPath(path), fSampleRate(sampleRate) {
  if (!fFile) {
    fError = path + ": cannot write the file";
    return;
  }
  writeHeader();
}

TWavStream::~TWavStream() { Flush(); }

void TWavStream::writeHeader() {
  const std::vector<std::uint8_t> header = monoHeader(static_cast<std::uint32_t>(fDataSize), fSampleRate);
  fFile.seekp(0);
  fFile.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  fFile.seekp(0, std::ios::end);
}

std::string TWavStream::Append(std::span<const std::int16_t> samples) {
  if (!fError.empty()) return fError;
  if (fDataSize + samples.size() * 2 > kMaxWavData) {
    fError = fPath + ": the WAV file is full (4 GiB)";
    return fError;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (const std::int16_t s : samples) AppendU16(bytes, static_cast<std::uint16_t>(s));
  fFile.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!fFile) fError = fPath + ": cannot write the file";
  fDataSize += bytes.size();
  return fError;
}

void TWavStream::Flush() {
  if (!fFile.is_open()) return;
  writeHeader();
  fFile.flush();
}

TWavReader::TWavReader(const std::string& path, std::uint16_t channel)
    : fFile(path, std::ios::binary), fPath(path), fChannel(channel) {
  if (!fFile) {
    fError = path + ": cannot open the file";
    return;
  }
  if (!findChunks()) fDataLeft = 0;
}

bool TWavReader::findChunks() {
  std::array<std::uint8_t, 12> riff{};
  if (!fFile.read(reinterpret_cast<char*>(riff.data()), riff.size()) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
      std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
    fError = fPath + ": not a WAV file";
    return false;
  }
  bool haveFormat = false;
  std::array<std::uint8_t, 8> head{};
  while (fFile.read(reinterpret_cast<char*>(head.data()), head.size())) {
    const std::uint32_t size = U32At(head, 4);
    if (std::memcmp(head.data(), "data", 4) == 0) {
      if (!haveFormat) break;
      fDataLeft = size;
      return true;
    }
    if (std::memcmp(head.data(), "fmt ", 4) == 0 && size <= kMaxFormatChunk) {
      std::vector<std::uint8_t> chunk(size);
      if (!fFile.read(reinterpret_cast<char*>(chunk.data()), size) || !readFormat(chunk)) return false;
      haveFormat = true;
      if (size % 2) fFile.ignore(1);
      continue;
    }
    fFile.seekg(static_cast<std::streamoff>(size) + (size % 2), std::ios::cur);
  }
  fError = fPath + ": " + (haveFormat ? "the WAV file has no audio data" : "the WAV file has no format chunk");
  return false;
}

bool TWavReader::readFormat(std::span<const std::uint8_t> chunk) {
  if (chunk.size() < 16) {
    fError = fPath + ": the WAV format chunk is too short";
    return false;
  }
  std::uint16_t format = u16At(chunk, 0);
  if (format == kExtensible && chunk.size() >= 26) format = u16At(chunk, 24);
  fChannels = u16At(chunk, 2);
  fSampleRate = U32At(chunk, 4);
  fBits = u16At(chunk, 14);
  fFloat = format == kFloat;
  const bool pcm = format == kPcm && (fBits == 8 || fBits == 16 || fBits == 24 || fBits == 32);
  if (!(pcm || (fFloat && fBits == 32)) || fChannels == 0 || fSampleRate == 0 || fSampleRate > 384000) {
    fError = fPath + ": a WAV file of format " + std::to_string(format) + ", " + std::to_string(fBits) + " bits, " +
             std::to_string(fChannels) + " channels at " + std::to_string(fSampleRate) + " Hz cannot be read";
    return false;
  }
  if (fChannel >= fChannels) {
    fError = fPath + ": the WAV file has no channel " + std::to_string(fChannel + 1);
    return false;
  }
  return true;
}

float TWavReader::sampleAt(const std::uint8_t* p) const {
  switch (fBits) {
    case 8: return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    case 16: return static_cast<float>(static_cast<std::int16_t>(p[0] | p[1] << 8)) / 32768.0f;
    case 24: {
      std::int32_t v = p[0] | p[1] << 8 | p[2] << 16;
      if (v & 0x800000) v -= 0x1000000;
      return static_cast<float>(v) / 8388608.0f;
    }
    default: {
      const std::uint32_t bits = U32At({p, 4}, 0);
      // A float that is not a number is silence.
      if (fFloat) return std::isfinite(std::bit_cast<float>(bits)) ? std::clamp(std::bit_cast<float>(bits), -1.0f, 1.0f) : 0.0f;
      return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(bits)) / 2147483648.0);
    }
  }
}

std::vector<float> TWavReader::Read(std::size_t maxFrames) {
  const std::size_t frameSize = std::size_t{fBits} / 8 * fChannels;
  if (fDataLeft < frameSize || !fError.empty()) return {};
  const std::size_t frames = std::min<std::uint64_t>(maxFrames, fDataLeft / frameSize);
  std::vector<std::uint8_t> bytes(frames * frameSize);
  fFile.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const std::size_t got = static_cast<std::size_t>(fFile.gcount()) / frameSize;
  fDataLeft = got < frames ? 0 : fDataLeft - bytes.size();
  std::vector<float> out(got);
  const std::size_t offset = std::size_t{fBits} / 8 * fChannel;
  for (std::size_t i = 0; i < got; ++i) out[i] = sampleAt(&bytes[i * frameSize + offset]);
  return out;
}

}  // namespace lumora::sync
