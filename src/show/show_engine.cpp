#include "show/show_engine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "io/stream.h"
#include "movie/movie_file.h"
#include "render/geometry.h"

namespace lumora {

namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000;
constexpr std::int32_t kSceneMargin = 10;
// The grid fills at most this share of the window.
constexpr double kGridShare = 0.8;
// A play list is a short text; an executable with a movie may be large.
constexpr std::uintmax_t kMaxPlayListSize = std::uintmax_t{1} << 20;
constexpr std::uintmax_t kMaxExecutableSize = std::uintmax_t{1} << 30;
// The entries of a play list a message names before it counts the rest.
constexpr std::int64_t kNamedMissingEntries = 10;
constexpr const char* kNoFrames = ": it has no frame to show";
constexpr const char* kNoMovieMark = ": not a movie file: it does not start with a movie's mark";

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::int32_t saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

// The frame bar's maximum for a list of n frames.
std::int32_t frameBarMax(std::int64_t n) { return n < 2 ? 1 : saturate(n - 1); }

bool isRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Hands each non-empty line to take, split at LF, CR LF or CR; a last line
// without an end counts. Nothing is kept for the lines, so a list's size
// alone costs no memory.
template <class TTakeLine>
void forEachLine(const std::vector<std::uint8_t>& text, const TTakeLine& take) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = static_cast<char>(text[i]);
    if (c != '\n' && c != '\r') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (!line.empty()) take(line);
    line.clear();
  }
  if (!line.empty()) take(line);
}

// The scale that fits a grid of w × h pixels into W × H: a side that is
// not larger than its room fits.
float gridScale(std::int64_t w, std::int64_t h, std::int64_t W, std::int64_t H) {
  const bool wide = w > W;
  const bool tall = h > H;
  if (wide && !tall) return static_cast<float>(static_cast<double>(W) / static_cast<double>(w));
  if (!wide && tall) return static_cast<float>(static_cast<double>(H) / static_cast<double>(h));
  if (wide && tall) {
    // h / H >= w / W, compared exactly.
    if (h * W >= w * H) return static_cast<float>(static_cast<double>(H) / static_cast<double>(h));
    return static_cast<float>(static_cast<double>(W) / static_cast<double>(w));
  }
  return 1.0f;
}

}  // namespace

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return lowerCase(text).find(lowerCase(part)) != std::string::npos;
}

int ClassifyArgument(const std::string& argument) {
  // .cot is a grid movie like .tol, so a double-click or a second start
  // opens it as the open dialog does.
  if (ContainsNoCase(argument, ".ctl") || ContainsNoCase(argument, ".tol") || ContainsNoCase(argument, ".cot")) {
    return kArgumentMovie;
  }
  if (ContainsNoCase(argument, ".lst")) return kArgumentPlayList;
  if (ContainsNoCase(argument, ".exe")) return kArgumentExecutable;
  return kArgumentNone;
}

TShowEngine::TShowEngine(TShowHost& host, TMusicPlayer& music, std::string executablePath)
    : fHost(host), fMusic(music), fExecutablePath(std::move(executablePath)) {
  fSceneRoot.MaskBitmap = &fMaskBitmap;
}

void TShowEngine::ReportBadFile(const std::exception& error) {
  if (dynamic_cast<const ENotAMovie*>(&error) != nullptr) {
    say(kCaptionWarning, kTextFormatError, error.what());
  } else {
    say(kCaptionError, kTextBadFile, error.what());
  }
}

// What can be told of a file before the show playing is given up for it.
void TShowEngine::checkShowFile(const std::string& path) const {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw TLoadError(path + ": a folder, not a show file");
  TFileInput file(path);
  if (ClassifyArgument(path) != kArgumentMovie || ContainsNoCase(path, ".tol") || ContainsNoCase(path, ".cot")) return;
  TStreamReader probe(file, path);
  if (TMovieFile::DetectVersion(probe) < 0) throw ENotAMovie(path + kNoMovieMark);
}

void TShowEngine::Open(const std::string& path) {
  switch (ClassifyArgument(path)) {
    case kArgumentMovie:
      checkShowFile(path);
      LoadMovie(path);
      break;
    case kArgumentPlayList: startPlayList(path, checkedPlayList(path)); break;
    case kArgumentExecutable: openExecutable(path, true); break;
    default: openExecutable(path, false); break;
  }
}

// A file of no kind plays only when it carries a movie.
void TShowEngine::openExecutable(const std::string& path, bool kindKnown) {
  checkShowFile(path);
  std::vector<std::uint8_t> image;
  try {
    image = ReadFileBytes(path, kMaxExecutableSize);
  } catch (const TLoadError&) {
    if (kindKnown) throw;
  }
  if (!TMovieFile::HasAppendedMovie(image)) {
    throw TLoadError(kindKnown ? path + ": no movie is appended" : NotAShowMessage(path));
  }
  fLastLoadError.clear();
  loadAppended(path, image);
}

// The list's entries, when at least one of them can be opened as a show.
std::vector<std::string> TShowEngine::checkedPlayList(const std::string& path) {
  std::vector<std::string> entries = playListEntries(path);
  std::string firstFault;
  for (const std::string& entry : entries) {
    try {
      checkShowFile(entry);
      return entries;
    } catch (const TLoadError& error) {
      if (firstFault.empty()) firstFault = error.what();
    }
  }
  throw TLoadError(path + ": none of its entries can be played (" + firstFault + ")");
}

void TShowEngine::say(const char* caption, const char* text, std::string detail) {
  fLastLoadError = std::move(detail);
  fHost.ShowMessage(caption, text, fLastLoadError);
}

void TShowEngine::prepareReader(TMovieFile& reader) {
  startOver();
  fSceneRoot.Clear();
  fGridLayers.FreeAll();
  reader.ControlLayer = &fSceneRoot;
  reader.GridLayers = &fGridLayers;
  reader.View = nullptr;
  reader.FrameBitmap = &fFrameBitmap;
  reader.Classes = Classes;
  reader.WriteMusic = ExtractMusic;
  reader.WorkBudget = WorkBudget;
}

void TShowEngine::LoadMovie(const std::string& path) {
  if (ContainsNoCase(path, ".tol") || ContainsNoCase(path, ".cot")) {
    LoadGrid(path);
    return;
  }
  fLastLoadError.clear();
  loadVector(path, [&](TMovieFile& reader) {
    if (!reader.LoadFromFile(path, true)) say(kCaptionWarning, kTextFormatError, path + kNoMovieMark);
    return true;
  });
}

// Reading runs under the show's budgets; what read returns false for is
// not shown, and a movie whose reading or preparing fails is dropped.
void TShowEngine::loadVector(const std::string& path, const std::function<bool(TMovieFile&)>& read) {
  fLoadingPath = path;
  try {
    const TMemoryBudget budget(MemoryBudget);
    const TWorkBudget work(WorkBudget);
    TMovieFile reader;
    prepareReader(reader);
    if (!read(reader)) return;
    afterVectorLoad(reader);
    fLoadMemory = budget.Used();
  } catch (const EShowBudget& error) {
    abandonMovie(TLoadError(path + ": " + error.what()));
  } catch (const std::exception& error) {
    abandonMovie(error);
  }
}

// A movie whose reading or preparing fails has already replaced the one
// before; what it left, half read and unprepared, is dropped whole rather
// than played.
void TShowEngine::abandonMovie(const std::exception& error) {
  SetRunning(false);
  CloseMovie();
  fPlayable = false;
  fFrameBitmap.Resize(0, 0);
  fMaskBitmap.Resize(0, 0);
  setFrames({1, 1, 1});
  fLoadMemory = 0;
  fShowFile.clear();
  fShowing = false;
  fHost.ShowCleared();
  ReportBadFile(error);
}

void TShowEngine::afterVectorLoad(TMovieFile& reader) {
  fShowFile = fLoadingPath;
  fMusicPath = reader.MusicFileName;
  fMusicName = reader.MusicName;
  if (!reader.MusicProblem.empty()) {
    fHost.MusicLeftOut(fLoadingPath + ": the music " + fMusicName + " is left out: " + reader.MusicProblem);
  }
  fMovieSize = {reader.Width, reader.Height};
  fFrameBitmap.Resize(reader.Width, reader.Height);
  bool masked = false;
  for (const auto& layer : fSceneRoot.Layers()) masked = masked || layer->Masked() != 0;
  fMaskBitmap.Resize(masked ? reader.Width : 0, masked ? reader.Height : 0);
  fFrameBitmap.Clear(kOpaqueBlack);
  fitScene();
  fHost.FrameResized();
  startMusic(std::move(reader.ExtractedMusic));
  fVectorMode = true;
  updatePlayable();
  SetRunning(fFrames.Max != fFrames.Min);
}

// The file the movie before wrote goes once its music is closed.
void TShowEngine::startMusic(TPrivateFile extracted) {
  fMusic.Close();
  fMusicFile = std::move(extracted);
  if (fMusicPath.empty()) return;
  try {
    fMusic.Open(fMusicPath);
    fMusic.Play();
  } catch (const std::exception& error) {
    fHost.MusicLeftOut(std::string(error.what()) + "; the show plays on without its music");
    MusicFailed();
  }
}

void TShowEngine::MusicFailed() {
  fMusicPath.clear();
  fMusic.Close();
}

void TShowEngine::PauseMusic() {
  if (!fMusicPath.empty()) fMusic.Pause();
}

void TShowEngine::ResumeMusic() {
  if (fMusicPath.empty()) return;
  try {
    fMusic.Play();
  } catch (const std::exception&) {
    MusicFailed();
  }
}

// The drawing is moved to the bitmap's origin with a margin and the bitmap
// shrunk to it when it fits; then every graphic is prepared for playback
// and the first frame drawn.
void TShowEngine::fitScene() {
  fSceneOffset = {};
  if (fSceneRoot.LayerCount() == 0) {
    say(kCaptionWarning, kTextNoGraphics, fLoadingPath + ": the movie holds no layers");
    return;
  }
  for (const auto& layer : fSceneRoot.Layers()) {
    for (const auto& graphic : layer->Graphics()) {
      graphic->UpdateTransform();
      graphic->SetSelected(false);
    }
  }
  TRect r;
  fSceneRoot.GetBounds(r);
  r = {WrapSub(r.Left, kSceneMargin), WrapSub(r.Top, kSceneMargin), WrapAdd(r.Right, kSceneMargin),
       WrapAdd(r.Bottom, kSceneMargin)};
  const std::int64_t width = std::int64_t{r.Right} - r.Left;
  const std::int64_t height = std::int64_t{r.Bottom} - r.Top;
  if (width < fFrameBitmap.Width() && height < fFrameBitmap.Height()) {
    fFrameBitmap.Resize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    fSceneOffset = {WrapSub(0, r.Left), WrapSub(0, r.Top)};
    fSceneRoot.OffsetAll(fSceneOffset.X, fSceneOffset.Y);
  }
  fSceneRoot.SetAllUseView(false);
  fGridLayers.MergeFrames();
  const TFrameDataLayer* grid = fGridLayers.CurrentLayer();
  if (grid == nullptr || grid->Merged.empty()) {
    say(kCaptionWarning, kTextNoBeats, fLoadingPath + ": its grid animation has no frames");
    return;
  }
  setFrames({1, frameBarMax(static_cast<std::int64_t>(grid->Merged.size())), fFrames.Position});
  fSceneRoot.SetAllEditMode(false);
  ChargeFramePixels(static_cast<std::uint64_t>(fFrameBitmap.Width()) * static_cast<std::uint64_t>(fFrameBitmap.Height()),
                    "clearing the frame");
  fSceneRoot.PreparePass(true, fFrameBitmap);
  fSceneRoot.PrepareMasks();
  fFrameBitmap.Clear(kOpaqueBlack);
  updatePlayable();
  fHost.MovieFitted();
  fLastFrame = 0;
  fSceneRoot.DrawFrame(fGridLayers, 0, fFrameBitmap);
  SetTickInterval(kVectorInterval);
  fShowing = true;
}

// The new grid is read and measured before anything is freed, so that a
// file that fails leaves the movie shown before in place.
void TShowEngine::LoadGrid(const std::string& path) {
  const TMemoryBudget budget(MemoryBudget);
  const TWorkBudget work(WorkBudget);
  auto layer = std::make_unique<TFrameDataLayer>();
  try {
    layer->LoadFromFile(path);
  } catch (const EShowBudget& error) {
    throw TLoadError(path + ": " + error.what());
  }
  const TPoint room = fHost.Room();
  const std::int64_t W = RoundToInt(kGridShare * room.X);
  const std::int64_t H = RoundToInt(kGridShare * room.Y);
  const std::int64_t w = (std::int64_t{layer->CellWidth} + 1) * layer->Columns() - 1;
  const std::int64_t h = (std::int64_t{layer->CellHeight} + 1) * layer->Rows() - 1;
  const float s = gridScale(w, h, W, H);
  const std::int32_t cellWidth = RoundToInt(static_cast<double>(layer->CellWidth) * s);
  const std::int32_t cellHeight = RoundToInt(static_cast<double>(layer->CellHeight) * s);
  const std::int64_t bitmapWidth = std::max<std::int64_t>((std::int64_t{cellWidth} + 1) * layer->Columns(), 0);
  const std::int64_t bitmapHeight = std::max<std::int64_t>((std::int64_t{cellHeight} + 1) * layer->Rows(), 0);
  if (bitmapWidth > INT32_MAX || bitmapHeight > INT32_MAX || bitmapWidth * bitmapHeight > kMaxSurfacePixels) {
    throw TLoadError(path + ": a grid of " + std::to_string(bitmapWidth) + " x " + std::to_string(bitmapHeight) +
                     " pixels is too large to draw");
  }
  try {
    const auto pixels = static_cast<std::uint64_t>(bitmapWidth * bitmapHeight);
    ChargeFramePixels(pixels, "the grid's cells");
    // Asked for and given back: the drawing must fit beside the frames.
    const TMemoryCharge drawing(pixels * sizeof(TColor32), "the grid's drawing");
  } catch (const EShowBudget& error) {
    throw TLoadError(path + ": " + error.what());
  }

  startOver();
  fSceneRoot.Clear();
  fGridLayers.FreeAll();
  fGridLayers.Add(std::move(layer));
  fCellDrawWidth = cellWidth;
  fCellDrawHeight = cellHeight;
  fSceneOffset = {};
  fShowFile = path;
  fFrameBitmap.Resize(static_cast<std::int32_t>(bitmapWidth), static_cast<std::int32_t>(bitmapHeight));
  fVectorMode = false;
  fHost.FrameResized();
  const TSection* section = fGridLayers.Items(0).CurrentSection();
  const std::int64_t frames = section != nullptr ? section->Count() : 0;
  setFrames({1, frameBarMax(frames), fFrames.Position});
  updatePlayable();
  fShowing = frames > 0;
  // Taking the bar's position itself as milliseconds, as the design does,
  // made a grid movie opened without the speed handler running (a second
  // start, a play list) play ten times faster than the label said.
  SetTickInterval(SpeedPosition * 10);
  SetRunning(fFrames.Max != fFrames.Min);
}

// An executable that cannot be read leaves everything as it was.
void TShowEngine::LoadEmbedded(const std::string& path) {
  fLastLoadError.clear();
  std::vector<std::uint8_t> image;
  try {
    image = ReadFileBytes(path, kMaxExecutableSize);
  } catch (const std::exception& error) {
    fLastLoadError = error.what();
    return;
  }
  loadAppended(path, image);
}

void TShowEngine::loadAppended(const std::string& path, const std::vector<std::uint8_t>& image) {
  loadVector(path, [&](TMovieFile& reader) {
    if (reader.ReadAppended(image, path)) return true;
    fLastLoadError = path + ": no movie is appended";
    return false;
  });
}

// Entries are looked up beside the list first, then beside the player, so
// that lists kept in a show's own folder and lists kept beside the program
// both play.
std::optional<std::string> PlayListEntryPath(const std::string& line, const std::string& listPath,
                                             const std::string& executablePath) {
  // A NUL byte would cut the name short for the file system while the rest
  // of the line still chose how the entry is read.
  if (line.find('\0') != std::string::npos) return std::nullopt;
  for (const std::filesystem::path& place : {std::filesystem::path(listPath).parent_path(),
                                             std::filesystem::path(executablePath).parent_path()}) {
    const std::string candidate = (place / line).string();
    if (isRegularFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::vector<std::string> TShowEngine::playListEntries(const std::string& path) {
  const std::vector<std::uint8_t> text = ReadFileBytes(path, kMaxPlayListSize);
  std::vector<std::string> entries;
  std::int64_t missing = 0;
  std::string missingNames;
  forEachLine(text, [&](const std::string& line) {
    if (const std::optional<std::string> entry = PlayListEntryPath(line, path, fExecutablePath)) {
      return entries.push_back(*entry);
    }
    if (line.find('\0') != std::string::npos) return;
    if (++missing <= kNamedMissingEntries) missingNames += (missing > 1 ? ", " : "") + line;
  });
  if (entries.empty()) throw TLoadError(path + ": names no movie that can be found beside it or the player");
  if (missing > kNamedMissingEntries) missingNames += " and " + std::to_string(missing - kNamedMissingEntries) + " more";
  if (missing > 0) say(kCaptionWarning, kTextNotFound, path + ": not found beside the list or the player: " + missingNames);
  return entries;
}

void TShowEngine::LoadPlayList(const std::string& path) { startPlayList(path, playListEntries(path)); }

// The first entry that can be shown plays; the first wrap moves on to the
// next, so that each entry plays once a pass.
void TShowEngine::startPlayList(const std::string& path, std::vector<std::string> entries) {
  const auto count = static_cast<std::int64_t>(entries.size());
  if (PlayOptions.StartEntry < 0 || PlayOptions.StartEntry >= count) {
    throw TLoadError(path + ": the play list has " + std::to_string(count) + " entries; there is no entry " +
                     std::to_string(std::int64_t{PlayOptions.StartEntry} + 1));
  }
  fPlayList = std::move(entries);
  fOrder = TPlayOrder(fPlayList.size(), PlayOptions);
  fPlayable = false;
  fPlayListActive = true;
  fFinished = false;
  playNextEntry();
}

// An entry that fails is reported and skipped, the list moving on to the
// one after; the design stopped there for good.
void TShowEngine::PlayNext() {
  if (fPlayList.empty()) {
    fPlayable = false;
    return;
  }
  if (fRunning) SetRunning(false);
  fPlayable = false;
  playNextEntry();
}

void TShowEngine::playNextEntry() {
  for (std::size_t tries = 0; tries < fPlayList.size(); ++tries) {
    const std::optional<std::size_t> entry = fOrder.Next();
    if (!entry) return finish();
    if (loadEntry(fPlayList[*entry])) return keepPlaying();
  }
  // No entry could be shown: what is left stands still.
  updatePlayable();
  SetRunning(false);
}

// Whether the entry loaded and shows a frame; a failure is reported.
bool TShowEngine::loadEntry(const std::string& path) {
  const std::uint64_t before = fShowNumber;
  try {
    checkShowFile(path);
    LoadMovie(path);
  } catch (const std::exception& error) {
    ReportBadFile(error);
    return false;
  }
  // A vector movie that shows nothing has said why; a grid of no frames
  // has not.
  if (fShowNumber != before && !fShowing && !fVectorMode) ReportBadFile(TLoadError(path + kNoFrames));
  return fShowNumber != before && fShowing;
}

// An entry of one frame runs too: it shows its frame for one tick.
void TShowEngine::keepPlaying() {
  SetRunning(true);
  if (!fPlayable) DrawFrame(fFrames.Position - 1);
}

void TShowEngine::finish() {
  SetRunning(false);
  fFinished = true;
  fHost.ShowFinished();
}

std::optional<std::size_t> TShowEngine::CurrentEntry() const {
  if (!fPlayListActive) return std::nullopt;
  return fOrder.Current();
}

void TShowEngine::updatePlayable() { fPlayable = fFrames.Min < fFrames.Max; }

// Keeping the position of the show before, as the design does, started a
// new movie wherever the last one had stopped.
void TShowEngine::startOver() {
  ++fShowNumber;
  fFrameFaultSaid = false;
  fPlayable = false;
  fShowing = false;
  fPasses = 0;
  setFrames({1, 1, 1});
}

void TShowEngine::PlayPrevious() {
  if (!fPlayListActive) return;
  fOrder.Back();
  PlayNext();
}

void TShowEngine::PlayEntry(std::size_t index) {
  if (!fPlayListActive || index >= fPlayList.size()) return;
  fOrder.JumpTo(index);
  PlayNext();
}

void TShowEngine::Unload() {
  SetRunning(false);
  CloseMovie();
  startOver();
  fPlayList.clear();
  fPlayListActive = false;
  fShowing = false;
  fFinished = false;
  fShowFile.clear();
  fFrameBitmap.Resize(0, 0);
  fMaskBitmap.Resize(0, 0);
  fHost.FrameResized();
  fHost.ShowCleared();
}

bool TShowEngine::PassEndsHere() const { return !fPlayListActive || fOrder.PassOver(); }

std::int64_t TShowEngine::Pass() const { return fPlayListActive ? fOrder.Pass() : fPasses + 1; }

std::vector<std::size_t> TShowEngine::RestOfPass() const {
  return fPlayListActive ? fOrder.RestOfPass() : std::vector<std::size_t>{};
}

// Freeing a graphic releases its stored coverage with it.
void TShowEngine::CloseMovie() {
  fSceneRoot.Clear();
  if (TFrameDataLayer* grid = fGridLayers.CurrentLayer()) grid->Merged.clear();
  fGridLayers.FreeAll();
  fMusic.Close();
  fMusicPath.clear();
  fMusicName.clear();
  fMusicFile.Reset();
}

void TShowEngine::Shutdown() {
  if (fShutDown) return;
  fShutDown = true;
  SetRunning(false);
  CloseMovie();
  fPlayList.clear();
  fPlayListActive = false;
}

void TShowEngine::Tick() {
  if (!fPlayable && !(fPlayListActive && fShowing)) return;
  if (fFrames.Position >= fFrames.Max) {
    if (!wrap()) return;
    if (!fPlayable) {
      DrawFrame(fFrames.Position - 1);
      loopMusic();
      return;
    }
  }
  setFrames({fFrames.Min, fFrames.Max, saturate(std::int64_t{fFrames.Position} + 1)});
  loopMusic();
}

// Back to the first position, where a play list moves on; false when the
// show is over or nothing is left to show.
bool TShowEngine::wrap() {
  const bool lastPass = fPlayListActive ? fOrder.LastPassOver()
                                        : PlayOptions.Loops > 0 && ++fPasses >= PlayOptions.Loops;
  if (lastPass) {
    finish();
    return false;
  }
  fInWrap = true;
  setFrames({fFrames.Min, fFrames.Max, fFrames.Min});
  if (fPlayListActive) PlayNext();
  fInWrap = false;
  return fShowing && (!fPlayListActive || fRunning);
}

void TShowEngine::loopMusic() {
  if (fMusicPath.empty() || fMusic.Position() < fMusic.Length()) return;
  try {
    fMusic.Rewind();
    fMusic.Play();
  } catch (const std::exception&) {
    MusicFailed();
  }
}

void TShowEngine::Seek(std::int32_t position) { setFrames({fFrames.Min, fFrames.Max, position}); }

// The position stays within the range; the host hears of every change.
void TShowEngine::setFrames(TScrollBarState state) {
  state = Clamped(state);
  if (state == fFrames) return;
  const bool moved = state.Position != fFrames.Position;
  fFrames = state;
  fHost.FramesChanged(moved);
}

void TShowEngine::SetRunning(bool running) {
  if (running == fRunning) return;
  fRunning = running;
  fHost.PlaybackChanged();
}

void TShowEngine::SetTickInterval(std::int32_t ms) {
  if (ms == fTickInterval) return;
  fTickInterval = ms;
  fHost.PlaybackChanged();
}

// A frame's scratch (an outline's crossings, say) is held to the show's
// memory budget as its loading was: a shape that at some frame asks for
// more is left out of that frame rather than allocated, and said once.
void TShowEngine::RenderFrame(std::int32_t frame) {
  fLastFrame = frame;
  try {
    const TMemoryBudget budget(MemoryBudget);
    if (fVectorMode) {
      fSceneRoot.DrawFrame(fGridLayers, frame, fFrameBitmap);
    } else {
      drawGrid(frame);
    }
  } catch (const EShowBudget& error) {
    if (fFrameFaultSaid) return;
    fFrameFaultSaid = true;
    fHost.FrameLeftOut(fShowFile + ": frame " + std::to_string(frame + 1) + " is drawn only in part: " +
                       error.what());
  }
}

void TShowEngine::DrawFrame(std::int32_t frame) {
  RenderFrame(frame);
  if (fInWrap) return;
  const TDrawnFrame drawn = LastDrawn();
  for (TFrameSink* sink : fSinks) sink->FrameDrawn(drawn);
}

TDrawnFrame TShowEngine::LastDrawn() const {
  return {fLastFrame, fFrameBitmap, GridFrame(fLastFrame), fGridLayers, fSceneOffset};
}

void TShowEngine::AddSink(TFrameSink& sink) { fSinks.push_back(&sink); }

void TShowEngine::RemoveSink(TFrameSink& sink) { std::erase(fSinks, &sink); }

const TFrameData* TShowEngine::GridFrame(std::int32_t frame) const {
  return frameOf(fGridLayers.CurrentLayer(), frame);
}

const TFrameData* TShowEngine::GridLayerFrame(std::int32_t layer, std::int32_t frame) const {
  if (layer < 0 || layer >= fGridLayers.Count()) return nullptr;
  return frameOf(&fGridLayers.Items(layer), frame);
}

// A vector movie plays a layer's merged frames, a grid movie its current
// frame list.
const TFrameData* TShowEngine::frameOf(const TFrameDataLayer* grid, std::int32_t frame) const {
  if (grid == nullptr || frame < 0) return nullptr;
  if (fVectorMode) {
    return static_cast<std::size_t>(frame) < grid->Merged.size() ? grid->Merged[static_cast<std::size_t>(frame)]
                                                                  : nullptr;
  }
  const TSection* section = grid->CurrentSection();
  return section != nullptr && frame < section->Count() ? &section->Items(frame) : nullptr;
}

// One filled rectangle per cell, a pixel apart; the pixels between cells
// keep what they held.
void TShowEngine::drawGrid(std::int32_t frame) {
  const TFrameDataLayer* grid = fGridLayers.CurrentLayer();
  const TFrameData* data = GridFrame(frame);
  if (grid == nullptr || data == nullptr) return;
  const std::int64_t stepX = std::int64_t{fCellDrawWidth} + 1;
  const std::int64_t stepY = std::int64_t{fCellDrawHeight} + 1;
  for (std::int32_t r = 0; r < grid->Rows(); ++r) {
    for (std::int32_t c = 0; c < grid->Columns(); ++c) {
      const std::int64_t left = c * stepX;
      const std::int64_t top = r * stepY;
      fFrameBitmap.FillRectClipped(saturate(left), saturate(top), saturate(left + fCellDrawWidth),
                                   saturate(top + fCellDrawHeight), Color32FromWinColor(data->CellColor(r, c)));
    }
  }
}

}  // namespace lumora
