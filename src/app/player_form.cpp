#include "app/player_form.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "control/show_commands.h"
#include "io/stream.h"

namespace lumora {

namespace {

struct TCaptionPair {
  const char* English;
  const char* Chinese;
};

// Indexed by TCaptionControl; PlayStop has its own pairs.
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

}  // namespace

std::string LayoutCaption(TCaptionControl control) {
  switch (control) {
    case TCaptionControl::FrameLabel: return "当前帧    ";
    case TCaptionControl::PlayStop: return kPlayingCaption.Chinese;
    default: return kCaptionTable[static_cast<std::size_t>(control)].Chinese;
  }
}

TRect ShownFrameRect(TPoint frame, const TRect& room, bool fit) {
  const std::int64_t roomWidth = room.Width();
  const std::int64_t roomHeight = room.Height();
  std::int64_t width = frame.X;
  std::int64_t height = frame.Y;
  if (fit && width > 0 && height > 0 && roomWidth > 0 && roomHeight > 0) {
    const double scale = std::min(static_cast<double>(roomWidth) / width, static_cast<double>(roomHeight) / height);
    width = std::max<std::int64_t>(1, std::llround(width * scale));
    height = std::max<std::int64_t>(1, std::llround(height * scale));
  }
  const std::int32_t left = saturate(room.Left + (roomWidth - width) / 2);
  const std::int32_t top = saturate(room.Top + (roomHeight - height) / 2);
  return {left, top, saturate(left + width), saturate(top + height)};
}

std::string WindowTitle(const std::string& showPath) {
  if (showPath.empty()) return "Lumora Stage";
  return std::filesystem::path(showPath).filename().string() + " — Lumora Stage";
}

TForm1::TForm1(TPlayerToolkit& toolkit, TMusicPlayer& music, std::string executablePath)
    : fToolkit(toolkit), fShow(*this, music, std::move(executablePath)),
      fControl(std::make_unique<TShowControlRoom>(fShow, control::TControllerOptions{}, LUMORA_VERSION)) {
  fShow.SpeedPosition = fSpeedBar.Position;
  fShow.AddSink(*this);
  registerWindowCommands();
  fControl->Controller.SetObserver(
      [this](const control::TShowStatus& before, const control::TShowStatus& after) { noticeChanges(before, after); });
}

TForm1::~TForm1() {
  fControl.reset();
  fShow.RemoveSink(*this);
}

// The speed bar is the window's: a speed from anywhere moves it, and its
// change handler sets the interval as it always has.
void TForm1::registerWindowCommands() {
  fControl->Bus.Register(control::ShowCommandSpec("speed"), [this](const control::TCommand& c) {
    const auto position = static_cast<std::int32_t>((control::IntegerOf(c.Args, "interval", 30) + 5) / 10);
    setSpeedBar({fSpeedBar.Min, fSpeedBar.Max, position});
    return control::TCommandResult::Ok();
  });
}

control::TCommandResult TForm1::command(const std::string& name, nlohmann::json args) {
  return fControl->Bus.Run({name, std::move(args), control::TCommandSource::Window});
}

void TForm1::Poll() { fControl->Controller.Poll(); }

// What changed shows over the picture for a moment, in the panel's
// language.
void TForm1::noticeChanges(const control::TShowStatus& before, const control::TShowStatus& after) {
  const bool english = fCaptionsEnglish;
  std::string text;
  if (after.Muted != before.Muted) {
    text = after.Muted ? (english ? "Muted" : "静音") : (english ? "Sound on" : "取消静音");
  } else if (after.Volume != before.Volume) {
    text = (english ? "Volume " : "音量 ") + std::to_string(after.Volume) + " %";
  } else if (after.Brightness != before.Brightness) {
    text = (english ? "Brightness " : "亮度 ") + std::to_string(after.Brightness) + " %";
  } else if (after.Blackout != before.Blackout) {
    text = after.Blackout ? (english ? "Blackout" : "全黑") : (english ? "Lights on" : "灯光恢复");
  } else if (after.Entries > 1 && (after.Entry != before.Entry || after.File != before.File)) {
    text = (english ? "Entry " : "第 ") + std::to_string(after.Entry) + (english ? " of " : " / ") +
           std::to_string(after.Entries) + (english ? ": " : " 项：") + after.EntryName;
  }
  if (!text.empty()) fToolkit.ShowNotice(text);
}

void TForm1::FormCreate(const std::string& argument) {
  fEnglishMode = 1;
  fCaptionsEnglish = false;
  for (int i = 0; i < kCaptionControlCount; ++i) {
    const auto control = static_cast<TCaptionControl>(i);
    fToolkit.SetCaption(control, LayoutCaption(control));
  }
  fToolkit.ShowScrollBar(TScrollBarId::FrameBar, fShow.Frames());
  fToolkit.ShowScrollBar(TScrollBarId::SpeedBar, fSpeedBar);
  fToolkit.SetTimer(fShow.Running(), fShow.TickInterval());
  // Switching an input method off at start has no counterpart on Linux:
  // input methods there start inactive for a window without text fields.
  if (argument.empty()) {
    fShow.LoadEmbedded(fShow.ExecutablePath());
    return;
  }
  // The design ended a start with an argument of no kind silently; the
  // window now says why nothing plays, as it does for a second start.
  openChecked(argument);
  const int kind = ClassifyArgument(argument);
  if (kind == kArgumentMovie || kind == kArgumentPlayList) LanguageClick();
}

void TForm1::FormDestroy() {
  if (fDestroyed) return;
  fDestroyed = true;
  fControl->Shutdown();
  fShow.Shutdown();
}

// A file that fails is reported instead of ending the program; one that is
// missing, a folder or not a show leaves what plays in place.
bool TForm1::openChecked(const std::string& path) {
  const std::uint64_t before = fShow.ShowNumber();
  try {
    fShow.Open(path);
  } catch (const std::exception& error) {
    fShow.ReportBadFile(error);
    return false;
  }
  opened(path, before);
  return true;
}

// Only a show that came of the path counts as opened; the status names it.
void TForm1::opened(const std::string& path, std::uint64_t showBefore) {
  if (fShow.ShowNumber() == showBefore || !fShow.Showing()) return;
  fToolkit.ShowOpened(path);
  fControl->Controller.Opened(path, control::TCommandSource::Window);
}

TPoint TForm1::Room() const { return {fToolkit.WindowWidth(), fToolkit.WindowHeight()}; }

// The design's words first (in English while the captions are), then the
// file and what was wrong with it; the same goes to stderr in English for
// those who start the player from a terminal.
void TForm1::ShowMessage(const std::string& caption, const std::string& text, const std::string& detail) {
  const std::string english = EnglishMessage(text);
  std::fprintf(stderr, "lumora: %s%s%s\n", english.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  fControl->Controller.Tell("message", detail.empty() ? english : english + ": " + detail);
  const std::string shown = fCaptionsEnglish ? english : text;
  fToolkit.MessageBox(fCaptionsEnglish ? EnglishMessage(caption) : caption,
                      detail.empty() ? shown : shown + "\n" + detail);
}

void TForm1::MovieFitted() {
  fToolkit.Maximize();
  fToolkit.Refresh();
}

void TForm1::FormResize() {
  fToolkit.Refresh();
  const TBitmap32& frame = fShow.FrameBitmap();
  fOffsetX = saturate((std::int64_t{fToolkit.WindowWidth()} - frame.Width()) / 2);
  fOffsetY = saturate((std::int64_t{fToolkit.WindowHeight()} - frame.Height()) / 2);
}

void TForm1::FramesChanged(bool moved) {
  fToolkit.ShowScrollBar(TScrollBarId::FrameBar, fShow.Frames());
  if (moved) FrameBarChange();
  fControl->Controller.Changed();
}

// The play/stop caption follows the timer, whatever started or stopped it.
void TForm1::PlaybackChanged() {
  fToolkit.SetTimer(fShow.Running(), fShow.TickInterval());
  showPlayStop();
  fControl->Controller.Changed();
}

void TForm1::showPlayStop() {
  const TCaptionPair& pair = fShow.Running() ? kPlayingCaption : kStoppedCaption;
  fToolkit.SetCaption(TCaptionControl::PlayStop, fCaptionsEnglish ? pair.English : pair.Chinese);
}

void TForm1::FrameDrawn(const TDrawnFrame& frame) { fToolkit.CopyFrame(frame.Bitmap, fOffsetX, fOffsetY); }

void TForm1::OnTick() { fControl->Controller.Tick(); }

void TForm1::FrameBarChange() {
  if (!fShow.Playable()) return;
  fToolkit.SetCaption(TCaptionControl::FrameLabel, frameLabel(fEnglishMode != 0, fShow.Frames().Position));
  fShow.DrawFrame(fShow.Frames().Position - 1);
}

void TForm1::SpeedBarChange() {
  fToolkit.SetCaption(TCaptionControl::SpeedLabel, speedLabel(fEnglishMode != 0, fSpeedBar.Position * 10));
  fShow.SetTickInterval(fSpeedBar.Position * 10);
}

void TForm1::OpenClick() {
  fShow.SetRunning(false);
  std::string path;
  if (fToolkit.RunOpenDialog(path)) OpenChosenPath(path);
}

// The design's open sets EnglishMode to 0 whatever the language; a drop or
// a recent file keeps the language chosen.
void TForm1::OpenDropped(const std::string& path) {
  if (!openChecked(path)) return;
  FrameBarChange();
  SpeedBarChange();
}

void TForm1::OpenChosenPath(const std::string& path) {
  const std::uint64_t before = fShow.ShowNumber();
  try {
    if (ContainsNoCase(path, ".lst")) {
      fShow.LoadPlayList(path);
    } else {
      fShow.LoadMovie(path);
    }
    fEnglishMode = 0;
    FrameBarChange();
    SpeedBarChange();
  } catch (const std::exception& error) {
    fShow.ReportBadFile(error);
  }
  opened(path, before);
}

// With nothing to play, the button only flips the timer, as it always has.
void TForm1::PlayStopClick() {
  if (fShow.Showing()) {
    command(fShow.Running() ? "pause" : "resume");
    return;
  }
  fShow.SetRunning(!fShow.Running());
}

void TForm1::CloseClick() { fToolkit.CloseWindow(); }

void TForm1::LanguageClick() {
  const bool english = fEnglishMode == 0;
  setCaptions(english);
  fEnglishMode = english ? 1 : 0;
  FrameBarChange();
  SpeedBarChange();
}

void TForm1::setCaptions(bool english) {
  fCaptionsEnglish = english;
  for (int i = 0; i < kCaptionControlCount; ++i) {
    const auto control = static_cast<TCaptionControl>(i);
    if (control == TCaptionControl::PlayStop) continue;
    const TCaptionPair& pair = kCaptionTable[static_cast<std::size_t>(i)];
    fToolkit.SetCaption(control, english ? pair.English : pair.Chinese);
  }
  showPlayStop();
}

void TForm1::FirstFrame() { command("seek", {{"frame", fShow.Frames().Min}}); }

void TForm1::LastFrame() { command("seek", {{"frame", fShow.Frames().Max}}); }

void TForm1::PreviousEntry() {
  if (fShow.PlayListActive()) command("previous");
}

void TForm1::NextEntry() {
  if (fShow.PlayListActive()) command("next");
}

void TForm1::Slower() { command("speed", {{"interval", std::min(fSpeedBar.Position + 1, fSpeedBar.Max) * 10}}); }

void TForm1::Faster() { command("speed", {{"interval", std::max(fSpeedBar.Position - 1, fSpeedBar.Min) * 10}}); }

void TForm1::SetVolume(double volume) {
  command("volume", {{"percent", std::lround(std::clamp(volume, 0.0, 1.0) * 100)}});
}

void TForm1::SetMuted(bool muted) { command("mute", {{"on", muted}}); }

void TForm1::HideClick() { fToolkit.SetPanelVisible(false); }

void TForm1::FormMouseDown() {
  if (!fToolkit.PanelVisible()) fToolkit.SetPanelVisible(true);
}

// The design minimised and maximised the window to bring it forward; under
// a window manager that could leave it unmapped while the program ran on.
void TForm1::WMCopyData(const std::string& path) {
  openChecked(path);
  fToolkit.BringToFront();
}

void TForm1::FrameResized() {
  FormResize();
  fToolkit.SetTitle(WindowTitle(fShow.ShowFile()));
}

void TForm1::UserScroll(TScrollBarId bar, std::int32_t position) {
  if (bar == TScrollBarId::FrameBar) {
    if (fShow.Showing()) command("seek", {{"frame", std::max(position, 1)}});
    return;
  }
  command("speed", {{"interval", std::clamp(position, fSpeedBar.Min, fSpeedBar.Max) * 10}});
}

void TForm1::StepFrame(std::int32_t delta) {
  if (!fShow.Showing()) return;
  command("seek", {{"frame", std::max<std::int64_t>(1, std::int64_t{fShow.Frames().Position} + delta)}});
}

TScrollBarState TForm1::ScrollBar(TScrollBarId bar) const {
  return bar == TScrollBarId::FrameBar ? fShow.Frames() : fSpeedBar;
}

// The speed bar keeps min <= position <= max and calls its change handler
// whenever the position changes.
void TForm1::setSpeedBar(TScrollBarState state) {
  state = Clamped(state);
  if (state == fSpeedBar) return;
  const bool moved = state.Position != fSpeedBar.Position;
  fSpeedBar = state;
  fShow.SpeedPosition = fSpeedBar.Position;
  fToolkit.ShowScrollBar(TScrollBarId::SpeedBar, fSpeedBar);
  if (moved) SpeedBarChange();
}

}  // namespace lumora
