// TMuxer: one output file's container — the streams the encoders add, their
// packets written interleaved, the header and trailer, every write checked.
#pragma once

#include <memory>
#include <string>

#include "export/ffmpeg_handles_p.h"

namespace lumora {

class TMuxer {
 public:
  // formatName is libavformat's ("mp4", "matroska", "webm", "gif", "apng").
  TMuxer(const char* formatName, const std::string& filePath);
  ~TMuxer();
  TMuxer(const TMuxer&) = delete;
  TMuxer& operator=(const TMuxer&) = delete;

  // Whether encoders must put their headers in the stream parameters.
  bool NeedsGlobalHeader() const;
  // A stream for an opened encoder; returns its index.
  int AddStream(const AVCodecContext& encoder);
  // A private option of the container (before Start, or before Finish for
  // those read at the end, such as a final frame's delay).
  void SetOption(const char* name, const std::string& value);

  // Opens the file and writes the header.
  void Start();
  // Takes the packet's contents; its times are in the encoder's time base.
  void Write(AVPacket& packet, int stream, AVRational timeBase);
  // Writes the trailer and closes the file; any write error raises.
  void Finish();

 private:
  struct TOutputDeleter {
    void operator()(AVFormatContext* c) const;
  };
  std::unique_ptr<AVFormatContext, TOutputDeleter> fContext;
  std::string fUrl;
  // Between the header and the trailer, which alone frees what some
  // containers hold (the GIF one keeps a packet back).
  bool fOpen = false;
};

}  // namespace lumora
