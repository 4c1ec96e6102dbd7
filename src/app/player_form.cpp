#include "app/player_form.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "movie/movie_file.h"
#include "io/stream.h"
#include "render/geometry.h"

namespace lumora {

namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000;
constexpr std::int32_t kSceneMargin = 10;
constexpr std::int32_t kVectorInterval = 30;
// The grid fills at most this share of the window.
constexpr double kGridShare = 0.8;
// A play list is a short text; an executable with a movie may be large.
constexpr std::uintmax_t kMaxPlayListSize = std::uintmax_t{1} << 20;
constexpr std::uintmax_t kMaxExecutableSize = std::uintmax_t{1} << 30;

struct TCaptionPair {
  const char* English;
  const char* Chinese;
};

// Indexed by TCaptionControl; Button2 has its own pairs.
constexpr std::array<TCaptionPair, kCaptionControlCount> kCaptionTable = {{
    {"Open", "打开文件"},
    {"Current frame", "当前帧"},
    {"Speed  30ms     ", "速度  30ms     "},
    {"", ""},
    {"hide", "隐藏"},
    {"close", "退出"},
    {"中文", "English"},
}};
constexpr TCaptionPair kPlayingCaption = {"stop", "停止"};
constexpr TCaptionPair kStoppedCaption = {"play", "播放"};

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string frameLabel(bool english, std::int32_t position) {
  const std::string n = std::to_string(position);
  return english ? "current frame " + n : "当前帧数 " + n + "    ";
}

std::string speedLabel(bool english, std::int32_t ms) {
  const std::string n = std::to_string(ms);
  return english ? "Speed    " + n + " ms" : "当前速度 " + n + " ms    ";
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

// The whole file, refused above limit bytes.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uintmax_t limit) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) throw TLoadError(path + ": cannot read the file (" + error.message() + ")");
  if (size > limit) throw TLoadError(path + ": the file is too large");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TLoadError(path + ": cannot open the file");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
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

std::string LayoutCaption(TCaptionControl control) {
  switch (control) {
    case TCaptionControl::Label1: return "当前帧    ";
    case TCaptionControl::Button2: return kPlayingCaption.Chinese;
    default: return kCaptionTable[static_cast<std::size_t>(control)].Chinese;
  }
}

TForm1::TForm1(TPlayerToolkit& toolkit, TMusicPlayer& music, std::string executablePath)
    : fToolkit(toolkit), fMusic(music), fExecutablePath(std::move(executablePath)) {}

int TForm1::ClassifyArgument(const std::string& argument) {
  // .cot is a grid movie like .tol, so a double-click or a second start
  // opens it as the open dialog does.
  if (ContainsNoCase(argument, ".ctl") || ContainsNoCase(argument, ".tol") || ContainsNoCase(argument, ".cot")) {
    return kArgumentMovie;
  }
  if (ContainsNoCase(argument, ".lst")) return kArgumentPlayList;
  if (ContainsNoCase(argument, ".exe")) return kArgumentExecutable;
  return kArgumentNone;
}

void TForm1::FormCreate(const std::string& argument) {
  fEnglishMode = 1;
  fPlayList.clear();
  fPlayIndex = 0;
  for (int i = 0; i < kCaptionControlCount; ++i) {
    const auto control = static_cast<TCaptionControl>(i);
    fToolkit.SetCaption(control, LayoutCaption(control));
  }
  fToolkit.ShowScrollBar(TScrollBarId::ScrollBar1, fScrollBar1);
  fToolkit.ShowScrollBar(TScrollBarId::ScrollBar2, fScrollBar2);
  fToolkit.SetTimer(fTimerEnabled, fTimerInterval);
  // Switching an input method off at start has no counterpart on Linux:
  // input methods there start inactive for a window without text fields.
  fSceneRoot.MaskBitmap = &fMaskBitmap;
  switch (ClassifyArgument(argument)) {
    case kArgumentMovie: loadArgument(argument, false); break;
    case kArgumentPlayList: loadArgument(argument, true); break;
    case kArgumentExecutable: LoadEmbedded(argument); return;
    default: LoadEmbedded(fExecutablePath); return;
  }
  Button4Click();
}

void TForm1::FormDestroy() {
  if (fDestroyed) return;
  fDestroyed = true;
  setTimer(false);
  fMusic.Close();
  CloseMovie();
  fPlayList.clear();
  OnMovieEnd = nullptr;
}

// A grid movie or play list that fails from the command line or a second
// start is reported as the open button reports it, instead of ending the
// program; what was loaded before stays.
void TForm1::loadArgument(const std::string& path, bool playList) {
  try {
    if (playList) {
      LoadPlayList(path);
    } else {
      LoadMovie(path);
    }
  } catch (const std::exception& error) {
    reportBadFile(error);
  }
}

void TForm1::reportBadFile(const std::exception& error) {
  fLastLoadError = error.what();
  fToolkit.MessageBox(kCaptionError, kTextBadFile);
}

void TForm1::prepareReader(TMovieFile& reader) {
  fSceneRoot.Clear();
  fGridLayers.FreeAll();
  reader.ControlLayer = &fSceneRoot;
  reader.GridLayers = &fGridLayers;
  reader.View = nullptr;
  reader.FrameBitmap = &fFrameBitmap;
  reader.Classes = Classes;
  fSceneRoot.MaskBitmap = &fMaskBitmap;
}

void TForm1::LoadMovie(const std::string& path) {
  if (ContainsNoCase(path, ".tol") || ContainsNoCase(path, ".cot")) {
    LoadGrid(path);
    return;
  }
  fLastLoadError.clear();
  try {
    const TMemoryBudget budget(MemoryBudget);
    TMovieFile reader;
    prepareReader(reader);
    if (!reader.LoadFromFile(path, true)) {
      fLastLoadError = path + ": " + kTextFormatError;
      fToolkit.MessageBox(kCaptionWarning, kTextFormatError);
    }
    AfterVectorLoad(reader);
    fLoadMemory = budget.Used();
  } catch (const EMemoryBudget& error) {
    abandonMovie(TLoadError(path + ": " + error.what()));
  } catch (const std::exception& error) {
    abandonMovie(error);
  }
}

// A movie whose reading or preparing fails has already replaced the one
// before; what it left, half read and unprepared, is dropped whole rather
// than played.
void TForm1::abandonMovie(const std::exception& error) {
  setTimer(false);
  CloseMovie();
  fPlayable = 0;
  fFrameBitmap.Resize(0, 0);
  fMaskBitmap.Resize(0, 0);
  setScrollBar(TScrollBarId::ScrollBar1, {1, 1, 1});
  fLoadMemory = 0;
  fToolkit.Refresh();
  reportBadFile(error);
}

void TForm1::AfterVectorLoad(TMovieFile& reader) {
  fMusicPath = reader.MusicFileName;
  fFrameBitmap.Resize(reader.Width, reader.Height);
  bool masked = false;
  for (const auto& layer : fSceneRoot.Layers()) masked = masked || layer->Masked() != 0;
  fMaskBitmap.Resize(masked ? reader.Width : 0, masked ? reader.Height : 0);
  fFrameBitmap.Clear(kOpaqueBlack);
  FitScene();
  FormResize();
  startMusic();
  fVectorMode = 1;
  UpdatePlayable();
  setTimer(fScrollBar1.Max != fScrollBar1.Min);
}

void TForm1::startMusic() {
  fMusic.Close();
  if (fMusicPath.empty()) return;
  try {
    fMusic.Open(fMusicPath);
    fMusic.Play();
  } catch (const std::exception&) {
    MusicFailed();
  }
}

void TForm1::MusicFailed() {
  fMusicPath.clear();
  fMusic.Close();
}

void TForm1::FitScene() {
  if (fSceneRoot.LayerCount() == 0) {
    fLastLoadError = kTextNoGraphics;
    fToolkit.MessageBox(kCaptionWarning, kTextNoGraphics);
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
    fSceneRoot.OffsetAll(WrapSub(0, r.Left), WrapSub(0, r.Top));
  }
  fSceneRoot.SetAllUseView(false);
  fGridLayers.MergeFrames();
  const TFrameDataLayer* grid = fGridLayers.CurrentLayer();
  if (grid == nullptr || grid->Merged.empty()) {
    fLastLoadError = kTextNoBeats;
    fToolkit.MessageBox(kCaptionWarning, kTextNoBeats);
    return;
  }
  setScrollBar(TScrollBarId::ScrollBar1,
               {1, frameBarMax(static_cast<std::int64_t>(grid->Merged.size())), fScrollBar1.Position});
  fSceneRoot.SetAllEditMode(false);
  fSceneRoot.PreparePass(true, fFrameBitmap);
  fSceneRoot.PrepareMasks();
  fFrameBitmap.Clear(kOpaqueBlack);
  UpdatePlayable();
  fToolkit.Maximize();
  fToolkit.Refresh();
  RenderFrame(0);
  setTimerInterval(kVectorInterval);
}

// The new grid is read and measured before anything is freed, so that a
// file that fails leaves the movie shown before in place.
void TForm1::LoadGrid(const std::string& path) {
  auto layer = std::make_unique<TFrameDataLayer>();
  layer->LoadFromFile(path);
  const std::int64_t W = RoundToInt(kGridShare * fToolkit.WindowWidth());
  const std::int64_t H = RoundToInt(kGridShare * fToolkit.WindowHeight());
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

  fSceneRoot.Clear();
  fGridLayers.FreeAll();
  fGridLayers.Add(std::move(layer));
  fCellDrawWidth = cellWidth;
  fCellDrawHeight = cellHeight;
  fFrameBitmap.Resize(static_cast<std::int32_t>(bitmapWidth), static_cast<std::int32_t>(bitmapHeight));
  fVectorMode = 0;
  FormResize();
  const TSection* section = fGridLayers.Items(0).CurrentSection();
  const std::int64_t frames = section != nullptr ? section->Count() : 0;
  setScrollBar(TScrollBarId::ScrollBar1, {1, frameBarMax(frames), fScrollBar1.Position});
  UpdatePlayable();
  setTimerInterval(fScrollBar2.Position);
  setTimer(fScrollBar1.Max != fScrollBar1.Min);
}

// An executable that cannot be read leaves everything as it was.
void TForm1::LoadEmbedded(const std::string& path) {
  fLastLoadError.clear();
  std::vector<std::uint8_t> image;
  try {
    image = readWholeFile(path, kMaxExecutableSize);
  } catch (const std::exception& error) {
    fLastLoadError = error.what();
    return;
  }
  try {
    const TMemoryBudget budget(MemoryBudget);
    TMovieFile reader;
    prepareReader(reader);
    if (reader.ReadAppended(image, path)) {
      AfterVectorLoad(reader);
      fLoadMemory = budget.Used();
    } else {
      fLastLoadError = path + ": no movie is appended";
    }
  } catch (const EMemoryBudget& error) {
    abandonMovie(TLoadError(path + ": " + error.what()));
  } catch (const std::exception& error) {
    abandonMovie(error);
  }
}

void TForm1::LoadPlayList(const std::string& path) {
  const std::vector<std::uint8_t> text = readWholeFile(path, kMaxPlayListSize);
  fPlayList.clear();
  std::string base = std::filesystem::path(fExecutablePath).parent_path().string();
  if (base.empty() || base.back() != '/') base += '/';
  forEachLine(text, [&](const std::string& line) {
    // A NUL byte would cut the name short for the file system while the
    // rest of the line still chose how the entry is read.
    if (line.find('\0') != std::string::npos) return;
    std::string candidate = base + line;
    if (isRegularFile(candidate)) fPlayList.push_back(std::move(candidate));
  });
  fPlayIndex = 0;
  fPlayable = 0;
  OnMovieEnd = nullptr;
  if (fPlayList.empty()) return;
  LoadMovie(fPlayList[0]);
  OnMovieEnd = [this] { PlayNext(); };
}

// An entry that fails is reported, the movie shown before plays on and the
// list moves on to the next entry at the next wrap.
void TForm1::PlayNext() {
  if (fPlayList.empty()) {
    fPlayable = 0;
    return;
  }
  if (fTimerEnabled) setTimer(false);
  fPlayable = 0;
  if (fPlayIndex >= static_cast<std::int32_t>(fPlayList.size())) fPlayIndex = 0;
  const std::string entry = fPlayList[static_cast<std::size_t>(fPlayIndex)];
  try {
    LoadMovie(entry);
  } catch (const std::exception& error) {
    reportBadFile(error);
    UpdatePlayable();
    setTimer(fPlayable != 0);
  }
  ++fPlayIndex;
}

void TForm1::UpdatePlayable() { fPlayable = fScrollBar1.Min < fScrollBar1.Max ? 1 : 0; }

// The last pass draws every graphic once more to release its stored
// coverage; a graphic that cannot be drawn any more must not keep the movie
// from closing, least of all while the window goes away.
void TForm1::CloseMovie() {
  try {
    fSceneRoot.PreparePass(false, fFrameBitmap);
  } catch (const std::exception&) {
  }
  fSceneRoot.Clear();
  if (TFrameDataLayer* grid = fGridLayers.CurrentLayer()) grid->Merged.clear();
  fGridLayers.FreeAll();
}

void TForm1::Timer1Timer() {
  if (fPlayable == 0) return;
  if (fScrollBar1.Position >= fScrollBar1.Max) {
    setScrollBar(TScrollBarId::ScrollBar1, {fScrollBar1.Min, fScrollBar1.Max, fScrollBar1.Min});
    if (OnMovieEnd) OnMovieEnd();
  }
  setScrollBar(TScrollBarId::ScrollBar1,
               {fScrollBar1.Min, fScrollBar1.Max, saturate(std::int64_t{fScrollBar1.Position} + 1)});
  if (fMusicPath.empty() || fMusic.Position() < fMusic.Length()) return;
  try {
    fMusic.Rewind();
    fMusic.Play();
  } catch (const std::exception&) {
    MusicFailed();
  }
}

void TForm1::ScrollBar1Change() {
  if (fPlayable == 0) return;
  fToolkit.SetCaption(TCaptionControl::Label1, frameLabel(fEnglishMode != 0, fScrollBar1.Position));
  if (fVectorMode != 0) {
    RenderFrame(fScrollBar1.Position - 1);
  } else {
    DrawGrid(fScrollBar1.Position - 1);
  }
  fToolkit.CopyFrame(fFrameBitmap, fOffsetX, fOffsetY);
}

void TForm1::ScrollBar2Change() {
  fToolkit.SetCaption(TCaptionControl::Label2, speedLabel(fEnglishMode != 0, fScrollBar2.Position * 10));
  setTimerInterval(fScrollBar2.Position * 10);
}

void TForm1::RenderFrame(std::int32_t frame) {
  TUpdateBracket bracket(fFrameBitmap);
  fFrameBitmap.Clear(kOpaqueBlack);
  for (const auto& layer : fSceneRoot.Layers()) {
    if (layer->Visible == 0) continue;
    if (layer->Masked() == 0) {
      for (const auto& graphic : layer->Graphics()) drawGraphic(*graphic, frame);
    } else if (layer->Count() > 0) {
      drawMaskedLayer(*layer, frame);
    }
  }
}

void TForm1::drawMaskedLayer(const TLayer& layer, std::int32_t frame) {
  if (fMaskBitmap.ClipRect() != fMaskBitmap.BoundsRect()) fMaskBitmap.ResetClipRect();
  fMaskBitmap.Clear(0x00000000);
  fMaskBitmap.DrawMode = dmBlend;
  for (const auto& graphic : layer.Graphics()) {
    if (graphic.get() != layer.MaskGraphic()) drawGraphic(*graphic, frame);
  }
}

// Graphics that move compute their shape in every frame; one whose
// geometry cannot be drawn (a region past its limits, say) is left out of
// the frame rather than stopping the show.
void TForm1::drawGraphic(TGraphicBase& graphic, std::int32_t frame) {
  try {
    graphic.DrawFrame(fGridLayers, frame, fFrameBitmap);
  } catch (const std::exception&) {
  }
}

void TForm1::DrawGrid(std::int32_t frame) {
  const TFrameDataLayer* grid = fGridLayers.CurrentLayer();
  const TSection* section = grid != nullptr ? grid->CurrentSection() : nullptr;
  if (section == nullptr || frame < 0 || frame >= section->Count()) return;
  const TFrameData& data = section->Items(frame);
  const std::int64_t stepX = std::int64_t{fCellDrawWidth} + 1;
  const std::int64_t stepY = std::int64_t{fCellDrawHeight} + 1;
  for (std::int32_t r = 0; r < grid->Rows(); ++r) {
    for (std::int32_t c = 0; c < grid->Columns(); ++c) {
      const std::int64_t left = c * stepX;
      const std::int64_t top = r * stepY;
      fFrameBitmap.FillRectClipped(saturate(left), saturate(top), saturate(left + fCellDrawWidth),
                                   saturate(top + fCellDrawHeight), Color32FromWinColor(data.CellColor(r, c)));
    }
  }
}

void TForm1::FormResize() {
  fToolkit.Refresh();
  fOffsetX = saturate((std::int64_t{fToolkit.WindowWidth()} - fFrameBitmap.Width()) / 2);
  fOffsetY = saturate((std::int64_t{fToolkit.WindowHeight()} - fFrameBitmap.Height()) / 2);
}

void TForm1::Button1Click() {
  setTimer(false);
  std::string path;
  if (fToolkit.RunOpenDialog(path)) OpenChosenPath(path);
}

void TForm1::OpenDropped(const std::string& path) {
  setTimer(false);
  OpenChosenPath(path);
}

void TForm1::OpenChosenPath(const std::string& path) {
  try {
    if (ContainsNoCase(path, ".lst")) {
      LoadPlayList(path);
    } else {
      LoadMovie(path);
    }
    fEnglishMode = 0;
    ScrollBar1Change();
    ScrollBar2Change();
  } catch (const std::exception& error) {
    reportBadFile(error);
  }
}

void TForm1::Button2Click() {
  const bool english = fEnglishMode != 0;
  if (fTimerEnabled) {
    fToolkit.SetCaption(TCaptionControl::Button2, english ? kStoppedCaption.English : kStoppedCaption.Chinese);
    setTimer(false);
    if (!fMusicPath.empty()) fMusic.Pause();
    return;
  }
  fToolkit.SetCaption(TCaptionControl::Button2, english ? kPlayingCaption.English : kPlayingCaption.Chinese);
  setTimer(true);
  if (fMusicPath.empty()) return;
  try {
    fMusic.Play();
  } catch (const std::exception&) {
    MusicFailed();
  }
}

void TForm1::Button3Click() { fToolkit.CloseWindow(); }

void TForm1::Button4Click() {
  const bool english = fEnglishMode == 0;
  setCaptions(english);
  fEnglishMode = english ? 1 : 0;
  ScrollBar1Change();
  ScrollBar2Change();
}

void TForm1::setCaptions(bool english) {
  for (int i = 0; i < kCaptionControlCount; ++i) {
    const auto control = static_cast<TCaptionControl>(i);
    if (control == TCaptionControl::Button2) continue;
    const TCaptionPair& pair = kCaptionTable[static_cast<std::size_t>(i)];
    fToolkit.SetCaption(control, english ? pair.English : pair.Chinese);
  }
  const TCaptionPair& button2 = fTimerEnabled ? kPlayingCaption : kStoppedCaption;
  fToolkit.SetCaption(TCaptionControl::Button2, english ? button2.English : button2.Chinese);
}

void TForm1::btnHideClick() { fToolkit.SetPanelVisible(false); }

void TForm1::FormMouseDown() {
  if (!fToolkit.PanelVisible()) fToolkit.SetPanelVisible(true);
}

void TForm1::WMCopyData(const std::string& path) {
  loadArgument(path, ContainsNoCase(path, ".lst"));
  fToolkit.Minimize();
  fToolkit.Maximize();
}

void TForm1::UserScroll(TScrollBarId bar, std::int32_t position) {
  TScrollBarState state = ScrollBar(bar);
  state.Position = position;
  setScrollBar(bar, state);
}

void TForm1::StepFrame(std::int32_t delta) {
  UserScroll(TScrollBarId::ScrollBar1, saturate(std::int64_t{fScrollBar1.Position} + delta));
}

const TScrollBarState& TForm1::ScrollBar(TScrollBarId bar) const {
  return bar == TScrollBarId::ScrollBar1 ? fScrollBar1 : fScrollBar2;
}

// A scroll bar keeps min <= position <= max and calls its change handler
// whenever the position changes.
void TForm1::setScrollBar(TScrollBarId bar, TScrollBarState state) {
  state.Max = std::max(state.Max, state.Min);
  state.Position = std::clamp(state.Position, state.Min, state.Max);
  TScrollBarState& current = bar == TScrollBarId::ScrollBar1 ? fScrollBar1 : fScrollBar2;
  if (state == current) return;
  const bool moved = state.Position != current.Position;
  current = state;
  fToolkit.ShowScrollBar(bar, current);
  if (moved) scrollBarChanged(bar);
}

void TForm1::scrollBarChanged(TScrollBarId bar) {
  if (bar == TScrollBarId::ScrollBar1) {
    ScrollBar1Change();
  } else {
    ScrollBar2Change();
  }
}

void TForm1::setTimer(bool enabled) {
  if (enabled == fTimerEnabled) return;
  fTimerEnabled = enabled;
  fToolkit.SetTimer(fTimerEnabled, fTimerInterval);
}

void TForm1::setTimerInterval(std::int32_t ms) {
  if (ms == fTimerInterval) return;
  fTimerInterval = ms;
  fToolkit.SetTimer(fTimerEnabled, fTimerInterval);
}

}  // namespace lumora
