// Music: the input is a music file, opened the one way music is opened
// (the whitelisted formats probed from its bytes, nothing it names ever
// read) and decoded into an export's sound, 48 kHz stereo, for up to two
// seconds of its loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "export/music_decoder_p.h"
#include "export/music_file.h"
#include "fuzz/fuzz_directory.h"
#include "io/stream.h"

namespace {

using namespace lumora;

constexpr int kFrameSamples = 1024;
constexpr int kFrames = 2 * 48000 / kFrameSamples;

// What the decoder needs of an encoder: its sample format, rate and layout.
struct TSoundFormat {
  TSoundFormat() : Context(avcodec_alloc_context3(nullptr)), Frame(ffmpeg::NewFrame()) {
    Context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    Context->sample_rate = 48000;
    av_channel_layout_default(&Context->ch_layout, 2);
    Frame->format = Context->sample_fmt;
    Frame->sample_rate = Context->sample_rate;
    Frame->nb_samples = kFrameSamples;
    av_channel_layout_copy(&Frame->ch_layout, &Context->ch_layout);
    av_frame_get_buffer(Frame.get(), 0);
  }
  ffmpeg::TCodecContext Context;
  ffmpeg::TFrame Frame;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::TScratchDirectory directory;
  static TSoundFormat sound;
  av_log_set_level(AV_LOG_QUIET);
  const std::string music = directory.File("music");
  WriteFileBytes(music, {data, size});
  try {
    TMusicDecoder decoder(music, *sound.Context);
    for (int i = 0; i < kFrames; ++i) decoder.Read(*sound.Frame);
  } catch (const EMusicFile&) {
  }
  return 0;
}
