// TMusicDecoder: music read sample by sample through its loops, from memory
// for a short piece and from the file again for a long one.
#include "export/music_decoder_p.h"

#include <vector>

#include <gtest/gtest.h>

#include "export/export_fixtures.h"

namespace lumora {
namespace {

using namespace fixtures;

// Stereo 16-bit samples that never repeat within a piece: left and right
// differ, so that a swap would show too.
std::int16_t left(std::int64_t i) { return static_cast<std::int16_t>((i * 7919) % 65536 - 32768); }
std::int16_t right(std::int64_t i) { return static_cast<std::int16_t>(-1 - left(i)); }

TEST(MusicDecoder, LoopsSampleExactly) {
  ffmpeg::TCodecContext encoder(avcodec_alloc_context3(nullptr));
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = 48000;
  av_channel_layout_default(&encoder->ch_layout, 2);
  for (const std::int64_t length : {std::int64_t{4801}, std::int64_t{48000} * (kMusicLoopMemorySeconds + 1)}) {
    SCOPED_TRACE(std::to_string(length) + " samples");
    TScratchFolder folder;
    std::vector<std::int16_t> samples;
    for (std::int64_t i = 0; i < length; ++i) samples.insert(samples.end(), {left(i), right(i)});
    WriteWavSamples(folder / "music.wav", 48000, 2, samples);
    TMusicDecoder music(folder / "music.wav", *encoder);
    const int skipped = 1000;
    music.Skip(skipped);
    ffmpeg::TFrame frame = ffmpeg::NewFrame();
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->nb_samples = 1024;
    av_channel_layout_default(&frame->ch_layout, 2);
    ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    for (std::int64_t at = skipped; at < skipped + 2 * length + 5000; at += frame->nb_samples) {
      music.Read(*frame);
      for (int k = 0; k < frame->nb_samples; ++k) {
        const std::int64_t i = (at + k) % length;
        ASSERT_EQ(reinterpret_cast<float*>(frame->data[0])[k], left(i) / 32768.0f) << "sample " << at + k;
        ASSERT_EQ(reinterpret_cast<float*>(frame->data[1])[k], right(i) / 32768.0f) << "sample " << at + k;
      }
    }
  }
}

}  // namespace
}  // namespace lumora
