// WAV files for timecode audio: 16-bit mono PCM written, and PCM (8, 16,
// 24 or 32 bits) or 32-bit float read a block at a time, one channel picked,
// so that an hour of audio is never held whole.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace lumora::sync {

// Writes samples as a mono 16-bit PCM WAV file; raises TLoadError naming
// the path when it cannot.
void WriteWav(const std::string& path, std::span<const std::int16_t> samples, std::uint32_t sampleRate);

// The data a WAV file's 32-bit sizes can count.
inline constexpr std::uint64_t kMaxWavData = 0xFFFFFFFFull - 36;

// A mono 16-bit PCM WAV file written as it plays: samples appended, and the
// header's sizes brought up to date at every Flush, so that the file reads
// whole whenever it is read. It stops at kMaxWavData.
class TWavStream {
 public:
  TWavStream(const std::string& path, std::uint32_t sampleRate);
  ~TWavStream();
  TWavStream(const TWavStream&) = delete;
  TWavStream& operator=(const TWavStream&) = delete;

  // Empty while the file is written, else why not (it then stays so).
  const std::string& Error() const { return fError; }
  std::string Append(std::span<const std::int16_t> samples);
  void Flush();

 private:
  void writeHeader();

  std::ofstream fFile;
  std::string fPath;
  std::string fError;
  std::uint32_t fSampleRate;
  std::uint64_t fDataSize = 0;
};

class TWavReader {
 public:
  // Opens and checks the header; on a fault an empty reader whose Error()
  // names the file and what is wrong.
  TWavReader(const std::string& path, std::uint16_t channel = 0);

  const std::string& Error() const { return fError; }
  std::uint32_t SampleRate() const { return fSampleRate; }
  std::uint16_t Channels() const { return fChannels; }

  // Up to maxFrames samples of the chosen channel, scaled to -1…1; empty at
  // the end of the data.
  std::vector<float> Read(std::size_t maxFrames);

 private:
  bool readFormat(std::span<const std::uint8_t> chunk);
  bool findChunks();
  float sampleAt(const std::uint8_t* frame) const;

  std::ifstream fFile;
  std::string fPath;
  std::string fError;
  std::uint32_t fSampleRate = 0;
  std::uint16_t fChannels = 0;
  std::uint16_t fChannel = 0;
  std::uint16_t fBits = 0;
  bool fFloat = false;
  std::uint64_t fDataLeft = 0;
};

}  // namespace lumora::sync
