#include "output/show_sequence.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
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

// The channels of the largest entry the patch drives; the patch's error
// for the first entry when it drives none.
std::uint32_t sequenceChannels(const TPatchDefinition& patch, const std::vector<TMovieShape>& shapes) {
  std::optional<std::uint32_t> most;
  std::string firstError;
  for (const TMovieShape& shape : shapes) {
    try {
      most = std::max(most.value_or(0), BindChannelPatch(patch, shape).ChannelCount);
    } catch (const EPatchError& error) {
      if (firstError.empty()) firstError = error.what();
    }
  }
  if (!most) throw EPatchError(firstError);
  return *most;
}

// The patch bound to each show of the pass as it comes; dark for one it
// cannot drive.
class TSequenceFiller {
 public:
  TSequenceFiller(const TPatchDefinition& patch, std::uint32_t channels, const TSequenceOptions& options)
      : fPatch(patch), fChannels(channels), fOptions(options) {}

  const std::vector<std::uint8_t>& Fill(const TShowEngine& engine);

 private:
  void bind(const TShowEngine& engine);

  const TPatchDefinition& fPatch;
  std::uint32_t fChannels;
  const TSequenceOptions& fOptions;
  std::uint64_t fShow = 0;
  std::optional<TChannelMap> fMap;
  std::set<std::string> fReported;
  std::vector<std::uint8_t> fFrame;
};

void TSequenceFiller::bind(const TShowEngine& engine) {
  fShow = engine.ShowNumber();
  fMap.reset();
  try {
    TChannelPatch bound = BindChannelPatch(fPatch, MovieShapeOf(engine));
    fMap.emplace(std::move(bound.Fixtures), bound.ChannelCount);
  } catch (const EPatchError& error) {
    const std::string file = std::filesystem::path(engine.ShowFile()).filename().string();
    const std::string message = file + ": " + error.what() + "; its frames are written dark";
    if (fOptions.OnReport && fReported.insert(message).second) fOptions.OnReport(message);
  }
}

const std::vector<std::uint8_t>& TSequenceFiller::Fill(const TShowEngine& engine) {
  if (engine.ShowNumber() != fShow) bind(engine);
  if (fMap) {
    TShowFrameView view(engine);
    fMap->Fill(view.View(engine.LastDrawn()), fFrame);
  }
  fFrame.resize(fChannels);
  if (!fMap) std::fill(fFrame.begin(), fFrame.end(), std::uint8_t{0});
  return fFrame;
}

}  // namespace

void WriteShowSequence(TShowPass& pass, const std::string& patchPath, const std::string& outPath,
                       const TSequenceOptions& options) {
  const TPatchDefinition patch = ReadPatchDefinition(patchPath);
  pass.Rewind();
  TFseqOptions fseq;
  fseq.ChannelCount = sequenceChannels(patch, PlayListShapes(pass.Engine()));
  pass.Rewind();
  TShowEngine& first = pass.Engine();
  if (pass.FrameCount() > UINT32_MAX) throw std::runtime_error(outPath + ": too many frames for a sequence");
  fseq.FrameCount = static_cast<std::uint32_t>(pass.FrameCount());
  fseq.StepMs = stepOf(outPath, first.TickInterval());
  fseq.Compress = options.Compress;
  fseq.MusicFile = pass.MusicName();
  TFseqWriter writer(outPath, fseq);
  TSequenceFiller filler(patch, fseq.ChannelCount, options);
  for (std::int64_t done = 0; done < pass.FrameCount(); ++done) {
    pass.NextFrame();
    TShowEngine& engine = pass.Engine();
    if (engine.TickInterval() != fseq.StepMs) {
      throw std::runtime_error(outPath + ": the show's frames last different times; a sequence has one step");
    }
    writer.WriteFrame(filler.Fill(engine));
    if (options.OnProgress) options.OnProgress(done + 1, pass.FrameCount());
  }
  writer.Finish();
}

}  // namespace lumora::output
