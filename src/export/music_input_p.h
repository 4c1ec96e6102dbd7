// TMusicInput: a music file opened for its packets the one way music is
// opened (see music_file.h): the file read through a reader of our own, its
// format probed from its bytes alone and taken only when it is one of the
// audio formats, no other file or URL ever opened, every step within a
// time limit.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "export/ffmpeg_handles_p.h"
#include "io/stream.h"

namespace lumora {

using TMusicClock = std::chrono::steady_clock;

// How long opening the music, and then reading each packet, may take. The
// clock is the tests' to replace.
struct TMusicTimeLimits {
  std::function<TMusicClock::time_point()> Now = [] { return TMusicClock::now(); };
  TMusicClock::duration Opening = std::chrono::seconds(10);
  TMusicClock::duration Reading = std::chrono::seconds(10);
};

class TMusicInput {
 public:
  // Raises EMusicFile naming the file and the cause.
  explicit TMusicInput(const std::string& path, TMusicTimeLimits limits = {});
  ~TMusicInput();
  TMusicInput(const TMusicInput&) = delete;
  TMusicInput& operator=(const TMusicInput&) = delete;

  AVFormatContext& Context() { return *fContext; }
  // av_read_frame within the reading limit.
  int ReadPacket(AVPacket& packet);

 private:
  struct TIoDeleter {
    void operator()(AVIOContext* io) const;
  };

  static int readBytes(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t seek(void* opaque, std::int64_t offset, int whence);
  static int interrupted(void* opaque);
  void openReader();
  const AVInputFormat& probeFormat();
  void openDemuxer(const AVInputFormat& format);
  bool late() const;
  [[noreturn]] void fail(const std::string& why) const;

  std::string fPath;
  TMusicTimeLimits fLimits;
  TMusicClock::time_point fDeadline;
  TFileInput fFile;
  std::uint64_t fPosition = 0;
  std::unique_ptr<AVIOContext, TIoDeleter> fIo;
  ffmpeg::TInput fContext;
};

}  // namespace lumora
