#include "export/ffmpeg_handles_p.h"
#include "export/video_export.h"

namespace lumora::ffmpeg {

TFrame NewFrame() {
  TFrame frame(av_frame_alloc());
  if (!frame) Fail("out of memory for a frame");
  return frame;
}

TPacket NewPacket() {
  TPacket packet(av_packet_alloc());
  if (!packet) Fail("out of memory for a packet");
  return packet;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void Check(int code, const std::string& what) {
  if (code < 0) Fail(what + " (" + ErrorText(code) + ")");
}

void Fail(const std::string& what) { throw EVideoExport(what); }

}  // namespace lumora::ffmpeg
