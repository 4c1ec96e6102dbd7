#include "io/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace lumora {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string systemError() { return std::strerror(errno); }

// Opening without O_NONBLOCK would wait for ever for a FIFO's writer;
// reads of a regular file never block, so the flag is cleared once fstat
// has told the kind of the file.
int openRegularFile(const std::string& path, std::uint64_t& size, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = "cannot open the file (" + systemError() + ")";
    return -1;
  }
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

}  // namespace

std::size_t TMemoryInput::Read(std::span<std::uint8_t> buffer) {
  if (fPosition >= fData.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(buffer.size(), fData.size() - fPosition);
  std::memcpy(buffer.data(), fData.data() + fPosition, n);
  fPosition += n;
  return n;
}

bool IsRegularFile(const std::string& path) {
  std::uint64_t size = 0;
  std::string error;
  const int fd = openRegularFile(path, size, error);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

TFileInput::TFileInput(const std::string& path) : fPath(path) {
  std::string error;
  const int fd = openRegularFile(path, fSize, error);
  if (fd < 0) throw TLoadError(path + ": " + error);
  fFile = ::fdopen(fd, "rb");
  if (fFile == nullptr) {
    ::close(fd);
    throw TLoadError(path + ": cannot open the file (" + systemError() + ")");
  }
}

TFileInput::~TFileInput() { std::fclose(fFile); }

std::size_t TFileInput::Read(std::span<std::uint8_t> buffer) {
  const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), fFile);
  if (n == 0 && std::ferror(fFile)) throw TLoadError(fPath + ": read error (" + systemError() + ")");
  return n;
}

void TFileInput::Seek(std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::fseeko(fFile, static_cast<off_t>(position), SEEK_SET) != 0) {
    throw TLoadError(fPath + ": cannot seek in the file (" + systemError() + ")");
  }
}

TInflateStream::TInflateStream(TInputStream& source, std::string fileName, std::uint64_t maxSize)
    : fSource(source), fFileName(std::move(fileName)), fMaxSize(maxSize), fInput(kChunk) {
  if (inflateInit(&fZ) != Z_OK) throw TLoadError(fFileName + ": cannot start the zlib inflater");
}

TInflateStream::~TInflateStream() { inflateEnd(&fZ); }

std::size_t TInflateStream::Read(std::span<std::uint8_t> buffer) {
  if (!fError.empty()) throw TLoadError(fError);
  if (fFinished || buffer.empty()) return 0;
  // Never produce more than the cap allows, plus one byte to detect excess.
  const std::uint64_t allowed = fMaxSize - fProduced + 1;
  const auto want = static_cast<uInt>(std::min<std::uint64_t>({buffer.size(), allowed, kChunk}));
  fZ.next_out = buffer.data();
  fZ.avail_out = want;
  while (fZ.avail_out == want) {
    if (fZ.avail_in == 0) {
      if (fSourceEnded) break;
      const std::size_t got = fSource.Read(fInput);
      if (got == 0) {
        fSourceEnded = true;
        break;
      }
      fZ.next_in = fInput.data();
      fZ.avail_in = static_cast<uInt>(got);
    }
    const int rc = inflate(&fZ, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      fFinished = true;
      break;
    }
    if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
      const char* what = fZ.msg != nullptr ? fZ.msg : "corrupt data";
      fError = fFileName + ": corrupt compressed data (" + what + ")";
      break;
    }
  }
  const std::size_t produced = want - fZ.avail_out;
  // What was inflated before the fault is handed out first.
  if (!fError.empty() && produced == 0) throw TLoadError(fError);
  fProduced += produced;
  if (fProduced > fMaxSize) {
    throw TLoadError(fFileName + ": the compressed body inflates to more than " + std::to_string(fMaxSize) +
                     " bytes");
  }
  if (produced == 0) fFinished = true;
  return produced;
}

TStreamReader::TStreamReader(TInputStream& source, std::string fileName)
    : fSource(source), fFileName(std::move(fileName)) {}

bool TStreamReader::fill(std::uint64_t more) {
  const std::uint64_t wanted = buffered() + more;
  while (buffered() < wanted && !fSourceEnded) {
    if (fStart > 0 && fStart >= fBuffer.size() / 2) {
      fBuffer.erase(fBuffer.begin(), fBuffer.begin() + static_cast<std::ptrdiff_t>(fStart));
      fStart = 0;
    }
    // Grow by chunks as data arrives, never by the size asked for, so that
    // a count from a file allocates no more than the data that follows.
    const std::size_t old = fBuffer.size();
    fBuffer.resize(old + kChunk);
    const std::size_t n = fSource.Read(std::span(fBuffer).subspan(old, kChunk));
    fBuffer.resize(old + n);
    if (n == 0) fSourceEnded = true;
  }
  return buffered() >= wanted;
}

bool TStreamReader::Has(std::uint64_t n) {
  if (n <= buffered()) return true;
  // More than any body may hold: the data cannot follow.
  if (n > kMaxInflatedSize) return false;
  return fill(n - buffered());
}

bool TStreamReader::ReadBytes(std::span<std::uint8_t> bytes) {
  if (!Has(bytes.size())) {
    // A value cut by the end of the data takes its bytes with it: nothing
    // after it can be read.
    while (Skip(kChunk) != 0) {
    }
    return false;
  }
  ReadSome(bytes);
  return true;
}

std::size_t TStreamReader::ReadSome(std::span<std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (buffered() == 0 && !fill(1)) break;
    const std::size_t n = std::min(buffered(), bytes.size() - done);
    std::memcpy(bytes.data() + done, fBuffer.data() + fStart, n);
    fStart += n;
    done += n;
  }
  fPosition += done;
  return done;
}

std::uint64_t TStreamReader::Skip(std::uint64_t n) {
  std::uint64_t done = 0;
  while (done < n) {
    if (buffered() == 0 && !fill(1)) break;
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(buffered(), n - done));
    fStart += step;
    done += step;
  }
  fPosition += done;
  return done;
}

namespace {

template <class T>
bool readLittle(TStreamReader& reader, T& v) {
  std::uint8_t bytes[sizeof(T)];
  if (!reader.ReadBytes(bytes)) return false;
  std::make_unsigned_t<T> u = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) u |= static_cast<std::make_unsigned_t<T>>(bytes[i]) << (8 * i);
  v = static_cast<T>(u);
  return true;
}

template <class T>
bool readBig(TStreamReader& reader, T& v) {
  std::uint8_t bytes[sizeof(T)];
  if (!reader.ReadBytes(bytes)) return false;
  T u = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) u = static_cast<T>((u << 8) | bytes[i]);
  v = u;
  return true;
}

}  // namespace

bool TStreamReader::ReadU8(std::uint8_t& v) { return readLittle(*this, v); }
bool TStreamReader::ReadU16(std::uint16_t& v) { return readLittle(*this, v); }
bool TStreamReader::ReadS16(std::int16_t& v) { return readLittle(*this, v); }
bool TStreamReader::ReadU32(std::uint32_t& v) { return readLittle(*this, v); }
bool TStreamReader::ReadS32(std::int32_t& v) { return readLittle(*this, v); }
bool TStreamReader::ReadU16BE(std::uint16_t& v) { return readBig(*this, v); }
bool TStreamReader::ReadU32BE(std::uint32_t& v) { return readBig(*this, v); }

bool TStreamReader::ReadFloat(float& v) {
  std::uint32_t bits = 0;
  if (!ReadU32(bits)) return false;
  v = std::bit_cast<float>(bits);
  return true;
}

void TStreamReader::Fail(const std::string& what) const { throw TLoadError(fFileName + ": " + what); }

void TStreamWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  fData.insert(fData.end(), bytes.begin(), bytes.end());
}

void TStreamWriter::WriteU16(std::uint16_t v) {
  fData.push_back(static_cast<std::uint8_t>(v));
  fData.push_back(static_cast<std::uint8_t>(v >> 8));
}

void TStreamWriter::WriteU32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) fData.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void TStreamWriter::WriteFloat(float v) { WriteU32(std::bit_cast<std::uint32_t>(v)); }

void TStreamWriter::WriteU16BE(std::uint16_t v) {
  fData.push_back(static_cast<std::uint8_t>(v >> 8));
  fData.push_back(static_cast<std::uint8_t>(v));
}

void TStreamWriter::WriteU32BE(std::uint32_t v) {
  for (int i = 3; i >= 0; --i) fData.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > std::numeric_limits<uLong>::max() / 2) throw std::length_error("DeflateBytes: too much data");
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("DeflateBytes: zlib failed");
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t maxSize) {
  TFileInput file(path);
  if (file.Size() > maxSize) throw TLoadError(path + ": the file is larger than " + std::to_string(maxSize) + " bytes");
  std::vector<std::uint8_t> data;
  std::uint8_t chunk[kChunk];
  while (const std::size_t n = file.Read(chunk)) {
    if (data.size() + n > maxSize) throw TLoadError(path + ": the file is larger than " + std::to_string(maxSize) + " bytes");
    data.insert(data.end(), chunk, chunk + n);
  }
  return data;
}

void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw TLoadError(path + ": cannot create the file (" + systemError() + ")");
  // An empty span's data may be null, which fwrite must not see.
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) throw TLoadError(path + ": cannot write the file");
}

std::string TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

void ReadRect(TStreamReader& stream, TRect& r) {
  stream.ReadS32(r.Left) && stream.ReadS32(r.Top) && stream.ReadS32(r.Right) && stream.ReadS32(r.Bottom);
}

bool ReadU32Values(TStreamReader& stream, std::span<std::uint32_t> values) {
  const std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(values.data()), values.size_bytes());
  const bool complete = stream.ReadSome(bytes) == bytes.size();
  if constexpr (std::endian::native == std::endian::big) {
    for (std::uint32_t& v : values) {
      v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    }
  }
  return complete;
}

void WriteRect(TStreamWriter& stream, const TRect& r) {
  stream.WriteS32(r.Left);
  stream.WriteS32(r.Top);
  stream.WriteS32(r.Right);
  stream.WriteS32(r.Bottom);
}

}  // namespace lumora
