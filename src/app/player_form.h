// TForm1: the player window's logic without a window toolkit. It keeps the
// control panel's state and captions, answers the design's events, and
// drives the show engine that loads and plays; the window is a sink of the
// engine's frames. Everything it needs of the window goes through
// TPlayerToolkit, so that the Qt window and the tests share it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/show_control_room.h"
#include "show/show_engine.h"

namespace lumora {

// The panel's controls by role. The design names them (and the timer's
// handler) differently; this is the one table between the two:
//   Open        Button1       opens a file
//   FrameLabel  Label1        the frame number
//   FrameBar    ScrollBar1    the frame position
//   SpeedLabel  Label2        the interval
//   SpeedBar    ScrollBar2    the interval in tens of milliseconds
//   PlayStop    Button2       starts and stops the timer
//   Hide        btnHide       hides the panel
//   Close       Button3       closes the window
//   Language    Button4       switches the captions
//   OnTick      Timer1Timer   the timer's handler
enum class TCaptionControl : std::uint8_t { Open, FrameLabel, SpeedLabel, PlayStop, Hide, Close, Language };
inline constexpr int kCaptionControlCount = 7;

enum class TScrollBarId : std::uint8_t { FrameBar, SpeedBar };

// The window's size at design time and the panel along its bottom edge.
inline constexpr std::int32_t kDesignWidth = 1016;
inline constexpr std::int32_t kDesignHeight = 507;
inline constexpr std::int32_t kPanelHeight = 42;

// The open dialog's filter as "description|patterns".
inline constexpr const char* kOpenDialogFilter = "动画文件(*.ctl;*.tol;*.cot;*.lst)|*.ctl;*.tol;*.lst;*.cot";

// The layout's caption of each control, before any language toggle.
std::string LayoutCaption(TCaptionControl control);

// Where a frame of the given size shows in the room: centred, 1:1 as the
// design draws it, or, to fit, scaled up or down to the largest size the
// room holds at the frame's own aspect.
TRect ShownFrameRect(TPoint frame, const TRect& room, bool fit);

// "demo-neon.ctl — Lumora Stage", or the program's name alone.
std::string WindowTitle(const std::string& showPath);

// What the logic needs of the window toolkit. The logic keeps the state
// (bars, timer, captions) and tells the toolkit what to show.
class TPlayerToolkit {
 public:
  virtual ~TPlayerToolkit() = default;
  virtual void SetCaption(TCaptionControl control, const std::string& text) = 0;
  // Shows a bar's range and position without calling back.
  virtual void ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) = 0;
  virtual void SetTimer(bool enabled, std::int32_t intervalMs) = 0;
  virtual void SetPanelVisible(bool visible) = 0;
  virtual bool PanelVisible() const = 0;
  virtual std::int32_t WindowWidth() const = 0;
  virtual std::int32_t WindowHeight() const = 0;
  virtual void Maximize() = 0;
  // Raises the window in front of the others, restoring it when minimised.
  virtual void BringToFront() = 0;
  // The window's title.
  virtual void SetTitle(const std::string& title) = 0;
  // A short notice over the picture for a moment: the volume, the entry …
  virtual void ShowNotice(const std::string& /*text*/) {}
  // Repaints the window black; the frame shows again at the next copy.
  virtual void Refresh() = 0;
  // Copies the frame 1:1 onto the window at (x, y), alpha ignored.
  virtual void CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) = 0;
  // The open dialog; false when the user cancels.
  virtual bool RunOpenDialog(std::string& path) = 0;
  // A message box with the warning icon, in front of the window until the
  // user closes it; the call need not wait for that.
  virtual void MessageBox(const std::string& caption, const std::string& text) = 0;
  virtual void CloseWindow() = 0;
  // A show was opened from the path and plays (the command line, a second
  // start, the open dialog, a drop or the recent files).
  virtual void ShowOpened(const std::string& path) = 0;
};

class TForm1 : private TShowHost, private TFrameSink {
 public:
  // executablePath names the player's own executable (see TShowEngine).
  TForm1(TPlayerToolkit& toolkit, TMusicPlayer& music, std::string executablePath);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;
  ~TForm1() override;

  TShowEngine& Show() { return fShow; }
  const TShowEngine& Show() const { return fShow; }
  // The bus every key, button and menu item goes through, with the
  // show's status and, when asked for, the control service.
  TShowControlRoom& Control() { return *fControl; }
  // About every 50 ms, whether anything plays or not.
  void Poll();

  // Start-up with the first command-line argument (empty for none).
  void FormCreate(const std::string& argument);
  // Stops playback and frees the show; the front end calls it once before
  // it goes away. Later calls do nothing.
  void FormDestroy();
  // Centres the frame in the window anew.
  void FormResize();
  void FormMouseDown();
  // The hand-off of a second start: opens the path as the command line
  // does, then brings the window to the front. A path that is missing, a
  // folder or not a show is reported while the show playing plays on.
  void WMCopyData(const std::string& path);

  void OnTick();
  void FrameBarChange();
  void SpeedBarChange();
  void OpenClick();
  void PlayStopClick();
  void HideClick();
  void CloseClick();
  void LanguageClick();

  // What the open button does with a chosen path: the labels then take
  // the Chinese formats, as the design has it.
  void OpenChosenPath(const std::string& path);
  // A file dropped on the window or chosen from the recent files: opened
  // as a second start opens it, in the language chosen.
  void OpenDropped(const std::string& path);
  // The user moved a bar; the position is clamped into its range.
  void UserScroll(TScrollBarId bar, std::int32_t position);
  // Moves the frame bar by delta positions.
  void StepFrame(std::int32_t delta);
  void FirstFrame();
  void LastFrame();
  // The entry before or after the one playing; nothing without a play list.
  void PreviousEntry();
  void NextEntry();
  // The speed bar one step towards longer or shorter ticks.
  void Slower();
  void Faster();
  // The music's loudness 0 … 1 and silence.
  void SetVolume(double volume);
  void SetMuted(bool muted);
  double Volume() const { return fControl->Controller.Status().Volume / 100.0; }
  bool Muted() const { return fControl->Controller.Status().Muted; }

  TScrollBarState ScrollBar(TScrollBarId bar) const;
  std::int32_t OffsetX() const { return fOffsetX; }
  std::int32_t OffsetY() const { return fOffsetY; }
  // Which captions the next language toggle shows and which the frame and
  // speed labels take: 1 English, 0 Chinese. Start-up sets 1 although the
  // layout's captions are Chinese, by design: a movie argument's toggle
  // then keeps Chinese, while a start without one labels frames in English.
  std::uint8_t EnglishMode() const { return fEnglishMode; }
  // Whether the captions on show are English.
  bool CaptionsEnglish() const { return fCaptionsEnglish; }

 private:
  // TShowHost
  TPoint Room() const override;
  void ShowMessage(const std::string& caption, const std::string& text, const std::string& detail) override;
  void MovieFitted() override;
  void FrameResized() override;
  void ShowCleared() override { fToolkit.Refresh(); }
  void FramesChanged(bool moved) override;
  void PlaybackChanged() override;
  void ShowFinished() override {}
  // TFrameSink: the window shows every frame drawn.
  void FrameDrawn(const TDrawnFrame& frame) override;

  bool openChecked(const std::string& path);
  control::TCommandResult command(const std::string& name, nlohmann::json args = nlohmann::json::object());
  void registerWindowCommands();
  void noticeChanges(const control::TShowStatus& before, const control::TShowStatus& after);
  void opened(const std::string& path, std::uint64_t showBefore);
  void setCaptions(bool english);
  void showPlayStop();
  void setSpeedBar(TScrollBarState state);

  TPlayerToolkit& fToolkit;
  TShowEngine fShow;
  std::unique_ptr<TShowControlRoom> fControl;
  std::int32_t fOffsetX = 0;
  std::int32_t fOffsetY = 0;
  std::uint8_t fEnglishMode = 1;
  // The language of the captions on show.
  bool fCaptionsEnglish = false;
  TScrollBarState fSpeedBar{1, 10, 3};
  bool fDestroyed = false;
};

}  // namespace lumora
