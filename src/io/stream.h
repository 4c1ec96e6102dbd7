// Byte sources and the bounded little-endian reader every movie and grid file
// is read through, the incremental zlib inflater, and the matching writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

#include "render/geometry.h"

namespace lumora {

// A file that cannot be read or whose content is wrong; the message names
// the file and what was wrong.
class TLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The most one compressed body may inflate to.
inline constexpr std::uint64_t kMaxInflatedSize = std::uint64_t{1} << 30;

class TInputStream {
 public:
  virtual ~TInputStream() = default;
  // Up to buffer.size() bytes; 0 only at the end of the data.
  virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
};

// A view of bytes the caller keeps alive.
class TMemoryInput : public TInputStream {
 public:
  explicit TMemoryInput(std::span<const std::uint8_t> data) : fData(data) {}
  std::size_t Read(std::span<std::uint8_t> buffer) override;
  std::uint64_t Position() const { return fPosition; }
  // Positions beyond the end read nothing.
  void Seek(std::uint64_t position) { fPosition = position; }

 private:
  std::span<const std::uint8_t> fData;
  std::uint64_t fPosition = 0;
};

// A regular file opened for reading; the constructor raises TLoadError if it
// cannot, and for anything that is not a regular file (a FIFO, a device, a
// directory), which it opens without waiting for a writer.
class TFileInput : public TInputStream {
 public:
  explicit TFileInput(const std::string& path);
  ~TFileInput() override;
  TFileInput(const TFileInput&) = delete;
  TFileInput& operator=(const TFileInput&) = delete;
  std::size_t Read(std::span<std::uint8_t> buffer) override;
  // Reading goes on from the byte at position; raises TLoadError when it
  // cannot.
  void Seek(std::uint64_t position);
  // The size the file had when it was opened.
  std::uint64_t Size() const { return fSize; }

 private:
  std::string fPath;
  std::FILE* fFile = nullptr;
  std::uint64_t fSize = 0;
};

// Whether the path names a regular file that can be opened for reading;
// asking never waits (a FIFO without a writer is simply not one).
bool IsRegularFile(const std::string& path);

// Inflates one zlib stream (header, deflate data, Adler-32 trailer) from its
// source as the reader asks for bytes. Compressed data that ends early ends
// the output; corrupt data raises TLoadError once the bytes inflated before
// it have been read; output beyond maxSize raises TLoadError.
class TInflateStream : public TInputStream {
 public:
  TInflateStream(TInputStream& source, std::string fileName, std::uint64_t maxSize = kMaxInflatedSize);
  ~TInflateStream() override;
  TInflateStream(const TInflateStream&) = delete;
  TInflateStream& operator=(const TInflateStream&) = delete;
  std::size_t Read(std::span<std::uint8_t> buffer) override;

 private:
  TInputStream& fSource;
  std::string fFileName;
  std::uint64_t fMaxSize;
  std::uint64_t fProduced = 0;
  z_stream fZ{};
  std::vector<std::uint8_t> fInput;
  bool fFinished = false;
  bool fSourceEnded = false;
  // Raised by the next read once the bytes before the fault are out.
  std::string fError;
};

// Reads little-endian (and, for grid files, big-endian) values from a
// source. Every read takes the whole value or, when the data ends before
// the value does, leaves the target at its previous value, answers false
// and is at the end of the data.
// Has(n) reads ahead, so a count from a file is checked against the data
// that really follows before anything is allocated for it.
// A reader is itself a source, so that a compressed part can follow a header.
class TStreamReader : public TInputStream {
 public:
  TStreamReader(TInputStream& source, std::string fileName);
  std::size_t Read(std::span<std::uint8_t> buffer) override { return ReadSome(buffer); }

  const std::string& FileName() const { return fFileName; }
  // Bytes consumed so far.
  std::uint64_t Position() const { return fPosition; }
  // Bytes read ahead from the source and not yet consumed.
  std::size_t Buffered() const { return buffered(); }

  // Whether at least n more bytes follow.
  bool Has(std::uint64_t n);
  bool AtEnd() { return !Has(1); }

  bool ReadBytes(std::span<std::uint8_t> bytes);
  // As many bytes as follow, up to bytes.size(), taken from the source a
  // chunk at a time: a large target is filled without reading it all ahead.
  std::size_t ReadSome(std::span<std::uint8_t> bytes);
  // Skips up to n bytes; answers how many were skipped.
  std::uint64_t Skip(std::uint64_t n);

  bool ReadU8(std::uint8_t& v);
  bool ReadU16(std::uint16_t& v);
  bool ReadS16(std::int16_t& v);
  bool ReadU32(std::uint32_t& v);
  bool ReadS32(std::int32_t& v);
  bool ReadFloat(float& v);
  bool ReadU16BE(std::uint16_t& v);
  bool ReadU32BE(std::uint32_t& v);

  // Raises TLoadError with "<file>: <what>".
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  std::size_t buffered() const { return fBuffer.size() - fStart; }
  // Reads ahead until `more` bytes beyond those buffered are there or the
  // source ends.
  bool fill(std::uint64_t more);

  TInputStream& fSource;
  std::string fFileName;
  std::vector<std::uint8_t> fBuffer;
  std::size_t fStart = 0;
  std::uint64_t fPosition = 0;
  bool fSourceEnded = false;
};

// Collects little-endian (or big-endian) values in memory.
class TStreamWriter {
 public:
  void WriteBytes(std::span<const std::uint8_t> bytes);
  void WriteU8(std::uint8_t v) { fData.push_back(v); }
  void WriteU16(std::uint16_t v);
  void WriteS16(std::int16_t v) { WriteU16(static_cast<std::uint16_t>(v)); }
  void WriteU32(std::uint32_t v);
  void WriteS32(std::int32_t v) { WriteU32(static_cast<std::uint32_t>(v)); }
  void WriteFloat(float v);
  void WriteU16BE(std::uint16_t v);
  void WriteU32BE(std::uint32_t v);

  const std::vector<std::uint8_t>& Data() const { return fData; }
  std::vector<std::uint8_t> TakeData() { return std::move(fData); }

 private:
  std::vector<std::uint8_t> fData;
};

// A rectangle as four s32 values, Left, Top, Right, Bottom; a record cut
// short leaves the fields that did not arrive as they were.
void ReadRect(TStreamReader& stream, TRect& r);
void WriteRect(TStreamWriter& stream, const TRect& r);

// Little-endian 32-bit values read straight into their place, a chunk at a
// time, so that a large picture is never held twice; false when the data
// ends first (the values read by then are kept).
bool ReadU32Values(TStreamReader& stream, std::span<std::uint32_t> values);

// One zlib stream of the bytes.
std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> bytes);

// Whole files; failures, and files larger than maxSize, raise TLoadError
// naming the path.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t maxSize = std::uint64_t{1} << 31);
void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes);

// $TMPDIR, else /tmp, always ending in a path separator.
std::string TempDirectory();

}  // namespace lumora
