// TForm1: the player window's logic without a window toolkit. It owns the
// scene root, the grid layers and the two bitmaps, loads movies, grid movies,
// play lists and appended movies, and plays them. Everything it needs of the
// window and of the music goes through TPlayerToolkit and TMusicPlayer, so
// that the Qt window, the headless renderer and the tests share it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "render/bitmap32.h"
#include "render/memory_budget.h"
#include "scene/control_layer.h"

namespace lumora {

class TMovieFile;

// The controls whose captions the logic sets.
enum class TCaptionControl : std::uint8_t { Button1, Label1, Label2, Button2, btnHide, Button3, Button4 };
inline constexpr int kCaptionControlCount = 7;

enum class TScrollBarId : std::uint8_t { ScrollBar1, ScrollBar2 };

// A horizontal scroll bar as the window shows it.
struct TScrollBarState {
  std::int32_t Min = 0;
  std::int32_t Max = 100;
  std::int32_t Position = 0;
  friend bool operator==(const TScrollBarState&, const TScrollBarState&) = default;
};

// The window's size at design time and the panel along its bottom edge.
inline constexpr std::int32_t kDesignWidth = 1016;
inline constexpr std::int32_t kDesignHeight = 507;
inline constexpr std::int32_t kPanelHeight = 42;

// The open dialog's filter as "description|patterns".
inline constexpr const char* kOpenDialogFilter = "动画文件(*.ctl;*.tol;*.cot;*.lst)|*.ctl;*.tol;*.lst;*.cot";

// Message texts and captions.
inline constexpr const char* kCaptionWarning = "警告";
inline constexpr const char* kCaptionError = "错误";
inline constexpr const char* kTextFormatError = "文件格式错误";
inline constexpr const char* kTextNoGraphics = "没有图元";
inline constexpr const char* kTextNoBeats = "网格程序的节拍数为零,请增加节拍";
inline constexpr const char* kTextBadFile = "文件格式不正确";

// The layout's caption of each control, before any language toggle.
std::string LayoutCaption(TCaptionControl control);

// What the logic needs of the window toolkit. The logic keeps the state
// (scroll bars, timer, captions) and tells the toolkit what to show.
class TPlayerToolkit {
 public:
  virtual ~TPlayerToolkit() = default;
  virtual void SetCaption(TCaptionControl control, const std::string& text) = 0;
  // Shows a scroll bar's range and position without calling back.
  virtual void ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) = 0;
  virtual void SetTimer(bool enabled, std::int32_t intervalMs) = 0;
  virtual void SetPanelVisible(bool visible) = 0;
  virtual bool PanelVisible() const = 0;
  virtual std::int32_t WindowWidth() const = 0;
  virtual std::int32_t WindowHeight() const = 0;
  virtual void Maximize() = 0;
  virtual void Minimize() = 0;
  // Repaints the window black; the frame shows again at the next copy.
  virtual void Refresh() = 0;
  // Copies the frame 1:1 onto the window at (x, y), alpha ignored.
  virtual void CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) = 0;
  // The open dialog; false when the user cancels.
  virtual bool RunOpenDialog(std::string& path) = 0;
  // A modal message box with the warning icon.
  virtual void MessageBox(const std::string& caption, const std::string& text) = 0;
  virtual void CloseWindow() = 0;
};

// What the logic needs of the music player. Open and Play raise an error
// when they fail; positions are compared with the length only.
class TMusicPlayer {
 public:
  virtual ~TMusicPlayer() = default;
  virtual void Open(const std::string& fileName) = 0;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void Close() = 0;
  virtual std::int64_t Position() = 0;
  virtual std::int64_t Length() = 0;
  virtual void Rewind() = 0;
};

// What ClassifyArgument answers.
inline constexpr int kArgumentMovie = 1;
inline constexpr int kArgumentPlayList = 2;
inline constexpr int kArgumentExecutable = 3;
inline constexpr int kArgumentNone = 4;

// Whether the lower-cased text contains the part.
bool ContainsNoCase(const std::string& text, const std::string& part);

class TForm1 {
 public:
  // executablePath names the player's own executable: play lists are taken
  // relative to its directory and a start without argument reads the movie
  // appended to it.
  TForm1(TPlayerToolkit& toolkit, TMusicPlayer& music, std::string executablePath);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The classes graphics are built from; tests substitute their own.
  const TGraphicClassTable* Classes = &DefaultGraphicClasses();
  // What a movie may derive from its file while it loads and prepares:
  // surfaces, images, lamp lists and stored coverage. A movie that needs
  // more is refused whole.
  std::uint64_t MemoryBudget = kShowMemoryBudget;

  // 1 movie (.ctl, .tol, .cot), 2 play list, 3 executable, 4 anything else.
  static int ClassifyArgument(const std::string& argument);

  // Start-up with the first command-line argument (empty for none).
  void FormCreate(const std::string& argument);
  // Stops playback and frees the movie; the front end calls it once before
  // it goes away. Later calls do nothing.
  void FormDestroy();

  void LoadMovie(const std::string& path);
  void LoadGrid(const std::string& path);
  void LoadEmbedded(const std::string& path);
  void LoadPlayList(const std::string& path);
  void PlayNext();
  void UpdatePlayable();
  void CloseMovie();

  void Timer1Timer();
  void ScrollBar1Change();
  void ScrollBar2Change();
  void RenderFrame(std::int32_t frame);
  void DrawGrid(std::int32_t frame);
  void FormResize();

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void btnHideClick();
  void FormMouseDown();

  // The hand-off of a second start: loads the path, then minimises and
  // maximises the window.
  void WMCopyData(const std::string& path);
  // What the open button does with a chosen path.
  void OpenChosenPath(const std::string& path);
  // A file dropped on the window opens as the open button opens it.
  void OpenDropped(const std::string& path);
  // The user moved a scroll bar; the position is clamped into its range.
  void UserScroll(TScrollBarId bar, std::int32_t position);
  // Moves the frame bar by delta positions.
  void StepFrame(std::int32_t delta);
  // The music player reports that the music cannot be played.
  void MusicFailed();

  const TBitmap32& FrameBitmap() const { return fFrameBitmap; }
  const TBitmap32& MaskBitmap() const { return fMaskBitmap; }
  TControlLayer& SceneRoot() { return fSceneRoot; }
  TFrameDataLayers& GridLayersList() { return fGridLayers; }
  const TScrollBarState& ScrollBar(TScrollBarId bar) const;
  std::int32_t OffsetX() const { return fOffsetX; }
  std::int32_t OffsetY() const { return fOffsetY; }
  std::uint8_t VectorMode() const { return fVectorMode; }
  std::int32_t CellDrawWidth() const { return fCellDrawWidth; }
  std::int32_t CellDrawHeight() const { return fCellDrawHeight; }
  const std::string& MusicPath() const { return fMusicPath; }
  std::uint8_t EnglishMode() const { return fEnglishMode; }
  std::uint8_t Playable() const { return fPlayable; }
  const std::vector<std::string>& PlayList() const { return fPlayList; }
  std::int32_t PlayIndex() const { return fPlayIndex; }
  bool PlayListActive() const { return static_cast<bool>(OnMovieEnd); }
  bool TimerEnabled() const { return fTimerEnabled; }
  std::int32_t TimerInterval() const { return fTimerInterval; }
  // The last error a load swallowed or reported, for tools; empty if none.
  const std::string& LastLoadError() const { return fLastLoadError; }
  // What the movie shown derived from its file while it loaded, in bytes.
  std::uint64_t LoadMemory() const { return fLoadMemory; }

 private:
  void AfterVectorLoad(TMovieFile& reader);
  void FitScene();
  void prepareReader(TMovieFile& reader);
  void startMusic();
  void loadArgument(const std::string& path, bool playList);
  void reportBadFile(const std::exception& error);
  void abandonMovie(const std::exception& error);
  void setCaptions(bool english);
  void setTimer(bool enabled);
  void setTimerInterval(std::int32_t ms);
  void setScrollBar(TScrollBarId bar, TScrollBarState state);
  void scrollBarChanged(TScrollBarId bar);
  void drawMaskedLayer(const TLayer& layer, std::int32_t frame);
  void drawGraphic(TGraphicBase& graphic, std::int32_t frame);

  TPlayerToolkit& fToolkit;
  TMusicPlayer& fMusic;
  std::string fExecutablePath;

  TControlLayer fSceneRoot;
  TFrameDataLayers fGridLayers;
  TBitmap32 fFrameBitmap;
  TBitmap32 fMaskBitmap;
  std::int32_t fOffsetX = 0;
  std::int32_t fOffsetY = 0;
  std::uint8_t fVectorMode = 0;
  std::int32_t fCellDrawWidth = 0;
  std::int32_t fCellDrawHeight = 0;
  std::string fMusicPath;
  std::uint8_t fEnglishMode = 1;
  std::uint8_t fPlayable = 0;
  std::vector<std::string> fPlayList;
  std::int32_t fPlayIndex = 0;
  std::function<void()> OnMovieEnd;

  // The frame bar starts with one position, so that nothing plays before a
  // movie sets its range.
  TScrollBarState fScrollBar1{1, 1, 1};
  TScrollBarState fScrollBar2{1, 10, 3};
  bool fTimerEnabled = false;
  std::int32_t fTimerInterval = 1000;
  bool fDestroyed = false;
  std::string fLastLoadError;
  std::uint64_t fLoadMemory = 0;
};

}  // namespace lumora
