#include "show/show_pass.h"

#include <algorithm>
#include <stdexcept>

namespace lumora {

namespace {

// Positions 1 … Max of the frame bar show frames 0 … Max − 1.
std::int64_t framesShown(const TShowEngine& engine) { return engine.Frames().Max; }

}  // namespace

std::int64_t FramesInPass(std::int64_t barMax, bool firstEntry) {
  return firstEntry ? barMax : std::max<std::int64_t>(barMax - 1, 1);
}

TShowPass::TShowPass(std::string path, TShowPassOptions options)
    : fPath(std::move(path)), fOptions(std::move(options)) {
  if (fOptions.Loops < 1) throw std::invalid_argument("the show must play at least once");
  countFrames();
}

std::unique_ptr<THeadlessShow> TShowPass::openShow(const std::string& path, bool extractMusic) const {
  auto show = std::make_unique<THeadlessShow>(fOptions.RoomWidth, fOptions.RoomHeight, fOptions.ExecutablePath);
  show->Engine.ExtractMusic = extractMusic;
  show->Engine.SetDrawThreads(fOptions.DrawThreads);
  show->Open(path);
  show->DrawOnEveryMove();
  return show;
}

// A single movie shows frames 0 … M − 1 on its first pass; the wrap then
// goes through frame 0 to frame 1 in one tick, so later passes show
// 1 … M − 1. Each entry of a play list after the first likewise starts at
// its frame 1, and an entry of one frame shows it for one tick.
// The music is written out by this first load alone and kept for the
// pass's life; the passes load the show without it. A play list keeps it
// only when every entry names the same.
void TShowPass::countFrames() {
  const std::unique_ptr<THeadlessShow> show = openShow(fPath, fOptions.ExtractMusic);
  TShowEngine& engine = show->Engine;
  fMusicName = engine.MusicName();
  fMusicFile = engine.TakeMusicFile();
  fMusicNotes = show->Host.MusicNotes;
  const std::int64_t loops = fOptions.Loops;
  if (fOptions.First) {
    if (engine.PlayListActive()) throw std::runtime_error(fPath + ": a frame range needs a single movie");
    const std::int32_t last = static_cast<std::int32_t>(framesShown(engine)) - 1;
    if (*fOptions.First < 0 || fOptions.Last < *fOptions.First || fOptions.Last > last) {
      throw std::runtime_error(fPath + ": the frames it plays are 0-" + std::to_string(last));
    }
    fCount = (std::int64_t{fOptions.Last} - *fOptions.First + 1) * loops;
    return;
  }
  if (!engine.PlayListActive()) {
    const std::int64_t m = framesShown(engine);
    fCount = m + (loops - 1) * std::max<std::int64_t>(m - 1, 1);
    return;
  }
  std::int64_t firstPass = 0;
  std::int64_t laterPass = 0;
  for (std::size_t i = 0; i < engine.PlayList().size(); ++i) {
    const std::string& entry = engine.PlayList()[i];
    const std::unique_ptr<THeadlessShow> played = openShow(entry);
    const std::int64_t m = framesShown(played->Engine);
    firstPass += FramesInPass(m, i == 0);
    laterPass += FramesInPass(m, false);
    if (played->Engine.MusicName() != fMusicName) {
      fMusicName.clear();
      fMusicFile.Reset();
    }
  }
  fCount = firstPass + (loops - 1) * laterPass;
}

void TShowPass::Rewind() {
  fShow = openShow(fPath);
  fDone = 0;
}

void TShowPass::NextFrame() {
  if (!fShow) Rewind();
  TShowEngine& engine = fShow->Engine;
  if (fOptions.First) {
    const std::int64_t span = std::int64_t{fOptions.Last} - *fOptions.First + 1;
    engine.DrawFrame(static_cast<std::int32_t>(*fOptions.First + fDone % span));
  } else if (fDone > 0) {
    engine.Tick();
  }
  ++fDone;
}

}  // namespace lumora
