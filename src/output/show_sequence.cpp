#include "output/show_sequence.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "output/channel_map.h"
#include "output/channel_patch.h"
#include "output/fseq_writer.h"
#include "output/show_output.h"

namespace lumora::output {

namespace {

std::uint8_t stepOf(const std::string& outPath, std::int32_t intervalMs) {
  if (intervalMs < 1 || intervalMs > 255) {
    throw std::runtime_error(outPath + ": a frame lasts " + std::to_string(intervalMs) +
                             " ms; a sequence's step is 1 to 255 ms");
  }
  return static_cast<std::uint8_t>(intervalMs);
}

}  // namespace

void WriteShowSequence(TShowPass& pass, const std::string& patchPath, const std::string& outPath,
                       const TSequenceOptions& options) {
  pass.Rewind();
  TShowEngine& first = pass.Engine();
  const TChannelPatch patch = LoadChannelPatch(patchPath, MovieShapeOf(first));
  if (pass.FrameCount() > UINT32_MAX) throw std::runtime_error(outPath + ": too many frames for a sequence");
  TFseqOptions fseq;
  fseq.ChannelCount = patch.ChannelCount;
  fseq.FrameCount = static_cast<std::uint32_t>(pass.FrameCount());
  fseq.StepMs = stepOf(outPath, first.TickInterval());
  fseq.Compress = options.Compress;
  fseq.MusicFile = pass.MusicName();
  TFseqWriter writer(outPath, fseq);
  TChannelMap map(patch.Fixtures, patch.ChannelCount);
  std::vector<std::uint8_t> channels;
  for (std::int64_t done = 0; done < pass.FrameCount(); ++done) {
    pass.NextFrame();
    TShowEngine& engine = pass.Engine();
    if (engine.TickInterval() != fseq.StepMs) {
      throw std::runtime_error(outPath + ": the show's frames last different times; a sequence has one step");
    }
    TShowFrameView view(engine);
    map.Fill(view.View(engine.LastDrawn()), channels);
    writer.WriteFrame(channels);
    if (options.OnProgress) options.OnProgress(done + 1, pass.FrameCount());
  }
  writer.Finish();
}

}  // namespace lumora::output
