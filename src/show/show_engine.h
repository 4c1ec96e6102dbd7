// TShowEngine: plays a show without any window toolkit. It owns what is
// loaded (a vector movie with its scene and grid layers, a grid movie, a
// play list, a movie appended to an executable, the music), the frame
// position with its wrap rule and the tick interval, and draws a frame into
// its bitmap on request, handing every frame it draws to the sinks attached.
// The player window, the headless tools, the benchmarks and the fuzz targets
// all play through it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "grid/frame_data.h"
#include "io/stream.h"
#include "io/private_directory.h"
#include "movie/graphic_factory.h"
#include "render/bitmap32.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/control_layer.h"
#include "show/frame_sink.h"
#include "show/play_order.h"
#include "show/show_host.h"
#include "show/show_messages.h"

namespace lumora {

class TMovieFile;

// How a path given to the player is opened; the first of .ctl, .tol and
// .cot found anywhere in it (any case) makes it a movie, else .lst a play
// list, else .exe an executable carrying a movie.
inline constexpr int kArgumentMovie = 1;
inline constexpr int kArgumentPlayList = 2;
inline constexpr int kArgumentExecutable = 3;
inline constexpr int kArgumentNone = 4;
int ClassifyArgument(const std::string& argument);

// A file that does not start with a movie's mark, reported as the design
// reports an unknown magic.
class ENotAMovie : public TLoadError {
 public:
  using TLoadError::TLoadError;
};

// Where the player finds a play list's entry: beside the list, else beside
// the player's executable; none when it is in neither place (or the name
// holds a NUL byte).
std::optional<std::string> PlayListEntryPath(const std::string& line, const std::string& listPath,
                                             const std::string& executablePath);

// Whether the lower-cased text contains the part.
bool ContainsNoCase(const std::string& text, const std::string& part);

// The interval of a vector movie's frames.
inline constexpr std::int32_t kVectorInterval = 30;

class TShowEngine {
 public:
  // executablePath names the player's own executable: play lists are taken
  // relative to its directory and LoadEmbedded of it reads the movie
  // appended to the player.
  TShowEngine(TShowHost& host, TMusicPlayer& music, std::string executablePath);
  TShowEngine(const TShowEngine&) = delete;
  TShowEngine& operator=(const TShowEngine&) = delete;

  // The classes graphics are built from; tests substitute their own.
  const TGraphicClassTable* Classes = &DefaultGraphicClasses();
  // What a movie may derive from its file while it loads and prepares:
  // graphics, points, frames, surfaces, images, lamp lists and stored
  // coverage. A movie that needs more is refused whole.
  std::uint64_t MemoryBudget = kShowMemoryBudget;
  // The pixels each of its frames may blend and the points and graphics it
  // may produce; a movie that needs more is refused whole.
  TWorkLimits WorkBudget;
  // The speed bar's position: a grid movie plays at ten times this many
  // milliseconds a tick, the interval the bar shows.
  std::int32_t SpeedPosition = 3;
  // When clear, a movie's music is read for its name but not written out:
  // for tools that play no sound. When set, the music goes into a folder
  // of its own in the private directory and is removed when the movie
  // closes; music that cannot be written or opened is left out, and the
  // host is told why.
  bool ExtractMusic = true;
  // How often the show plays before it ends and, for a play list, in which
  // order; taken up when a play list loads. The player plays for ever.
  TPlayListOptions PlayOptions;

  // Opens a show by its kind (see ClassifyArgument): a movie, grid movie,
  // play list, or an executable (or a file of no kind) carrying a movie.
  // What can be told before anything shown is given up is checked first:
  // that the file opens as a regular file, that it is of a kind the player
  // plays and, for a movie, that it starts with a movie's mark; for a play
  // list, that some entry passes the same checks. Otherwise TLoadError is
  // raised and the show playing plays on. A file that fails later, in its
  // body, is reported and dropped as LoadMovie says.
  void Open(const std::string& path);

  // Loading. A vector or appended movie that fails is reported and dropped;
  // a grid movie or play list that cannot be read raises TLoadError and
  // leaves what was loaded before.
  void LoadMovie(const std::string& path);
  void LoadGrid(const std::string& path);
  void LoadEmbedded(const std::string& path);
  void LoadPlayList(const std::string& path);
  // The next entry of the play list. An entry that fails is reported and
  // skipped (it counts as played), and the list moves on to the one after;
  // once the last pass of PlayOptions.Loops is over the show is finished.
  void PlayNext();
  // The entry before the one playing; none without a play list.
  void PlayPrevious();
  // Entry index of the play list (counted from 0), at once; the pass goes
  // on from there.
  void PlayEntry(std::size_t index);
  // Stops and gives up what plays: nothing shows until the next show opens.
  void Unload();
  // Whether the wrap to come ends a pass: every wrap of a single movie, the
  // last entry's of a play list's pass.
  bool PassEndsHere() const;
  // The pass playing, counted from 1.
  std::int64_t Pass() const;
  // The play list's entries still to come in this pass, by their index.
  std::vector<std::size_t> RestOfPass() const;
  // Frees the scene and the grid layers, stops the music and removes the
  // music file the movie's load wrote.
  void CloseMovie();
  // Stops playback and the music and frees everything loaded; later calls
  // do nothing.
  void Shutdown();
  // A load that failed: kept for LastLoadError and shown as the bad-file
  // message (a file without a movie's mark as the format message).
  void ReportBadFile(const std::exception& error);

  // Playback. A tick moves the frame position on by one; past the last
  // position it wraps to the first, where an active play list loads its
  // next entry, and moves on from there. The music loops as it ends. Every
  // tick hands the sinks exactly one frame: the first position a wrap
  // passes through is drawn (light strips and swinging lights count their
  // steps by the frames drawn) but not handed on, and an entry of one
  // frame is handed on for one tick before the list moves on. When the
  // show has played PlayOptions.Loops times, the tick that would wrap
  // stops playback instead and the host hears ShowFinished.
  void Tick();
  // Moves the frame position, clamped into the range.
  void Seek(std::int32_t position);
  void SetRunning(bool running);
  void SetTickInterval(std::int32_t ms);
  TMusicPlayer& Music() { return fMusic; }
  // Pauses or resumes the music with the animation.
  void PauseMusic();
  void ResumeMusic();
  // The music player reports that the music cannot be played.
  void MusicFailed();

  // Draws frame n of the movie into the frame bitmap (a vector movie's
  // scene, or a grid movie's cells) and hands it to every sink, except
  // while a tick wraps.
  void DrawFrame(std::int32_t frame);
  // The same without the sinks, as loading draws the first frame.
  void RenderFrame(std::int32_t frame);
  // Sinks are seen, not owned; each stays attached until it is removed.
  void AddSink(TFrameSink& sink);
  void RemoveSink(TFrameSink& sink);

  // The threads that draw a vector movie's frames: kAllCores (0, the
  // default) for every core the process may run on, or a number, the
  // calling thread included; 1 draws on the calling thread alone. Every
  // count draws the same pixels.
  void SetDrawThreads(std::int32_t threads) { fSceneRoot.BandPainter().SetThreadCount(threads); }
  std::int32_t DrawThreads() const { return fSceneRoot.BandPainter().ThreadCount(); }
  // Rows of the bands a frame is drawn in: kAutomaticBands (the default)
  // sizes them to the cache, kNoBands paints every graphic over the whole
  // frame in turn. Every height draws the same pixels.
  void SetBandHeight(std::int32_t rows) { fSceneRoot.BandPainter().SetBandHeight(rows); }
  std::int32_t BandHeight() const { return fSceneRoot.BandPainter().BandHeightSetting(); }

  const std::string& ExecutablePath() const { return fExecutablePath; }
  // The file of the movie or grid movie playing (a play list's entry);
  // empty when nothing plays.
  const std::string& ShowFile() const { return fShowFile; }
  const TScrollBarState& Frames() const { return fFrames; }
  bool Playable() const { return fPlayable; }
  bool Running() const { return fRunning; }
  std::int32_t TickInterval() const { return fTickInterval; }
  bool VectorMode() const { return fVectorMode; }
  const TBitmap32& FrameBitmap() const { return fFrameBitmap; }
  const TBitmap32& MaskBitmap() const { return fMaskBitmap; }
  TControlLayer& SceneRoot() { return fSceneRoot; }
  const TControlLayer& SceneRoot() const { return fSceneRoot; }
  TFrameDataLayers& GridLayers() { return fGridLayers; }
  const TFrameDataLayers& GridLayers() const { return fGridLayers; }
  // The size a vector movie states for itself, before the fit.
  TPoint MovieSize() const { return fMovieSize; }
  // Where the fit moved the drawing: bitmap = movie + offset.
  TPoint SceneOffset() const { return fSceneOffset; }
  std::int32_t CellDrawWidth() const { return fCellDrawWidth; }
  std::int32_t CellDrawHeight() const { return fCellDrawHeight; }
  // The music file playing, written for this process; empty for none.
  const std::string& MusicPath() const { return fMusicPath; }
  // The name the movie gives its music, written out or not; empty for none.
  const std::string& MusicName() const { return fMusicName; }
  // Hands over the music file the movie's load wrote: it stays until the
  // caller is done with it rather than until the movie closes.
  TPrivateFile TakeMusicFile() { return std::move(fMusicFile); }
  const std::vector<std::string>& PlayList() const { return fPlayList; }
  // The index in PlayList of the entry playing; none without a play list.
  std::optional<std::size_t> CurrentEntry() const;
  bool PlayListActive() const { return fPlayListActive; }
  // Whether a show is loaded that draws a frame: a prepared vector movie
  // or a grid movie with frames.
  bool Showing() const { return fShowing; }
  // The show has played PlayOptions.Loops times and stopped.
  bool Finished() const { return fFinished; }
  // The last error a load swallowed or reported; empty if none.
  const std::string& LastLoadError() const { return fLastLoadError; }
  // What the movie shown derived from its file while it loaded, in bytes.
  std::uint64_t LoadMemory() const { return fLoadMemory; }
  // The frame drawn last, as sinks are handed it.
  TDrawnFrame LastDrawn() const;
  // The cells of frame n of the current grid layer, or none.
  const TFrameData* GridFrame(std::int32_t frame) const;
  // The cells of frame n of grid layer i (a grid movie has one), or none.
  const TFrameData* GridLayerFrame(std::int32_t layer, std::int32_t frame) const;
  // Counts the shows loaded: it changes whenever what plays is replaced.
  std::uint64_t ShowNumber() const { return fShowNumber; }

 private:
  void checkShowFile(const std::string& path) const;
  void openExecutable(const std::string& path, bool kindKnown);
  std::vector<std::string> checkedPlayList(const std::string& path);
  void startPlayList(const std::string& path, std::vector<std::string> entries);
  void playNextEntry();
  bool loadEntry(const std::string& path);
  void keepPlaying();
  bool wrap();
  void finish();
  void loadAppended(const std::string& path, const std::vector<std::uint8_t>& image);
  void loadVector(const std::string& path, const std::function<bool(TMovieFile&)>& read);
  void afterVectorLoad(TMovieFile& reader);
  void fitScene();
  void prepareReader(TMovieFile& reader);
  void abandonMovie(const std::exception& error);
  void startMusic(TPrivateFile extracted);
  void loopMusic();
  void updatePlayable();
  // What was playing is replaced: the frame bar starts over.
  void startOver();
  void setFrames(TScrollBarState state);
  void drawGrid(std::int32_t frame);
  // Shows a message whose detail becomes LastLoadError.
  void say(const char* caption, const char* text, std::string detail);
  std::vector<std::string> playListEntries(const std::string& path);
  const TFrameData* frameOf(const TFrameDataLayer* grid, std::int32_t frame) const;

  TShowHost& fHost;
  TMusicPlayer& fMusic;
  std::string fExecutablePath;
  std::vector<TFrameSink*> fSinks;
  // The file being loaded, for the messages that name it.
  std::string fLoadingPath;
  std::string fShowFile;

  TControlLayer fSceneRoot;
  TFrameDataLayers fGridLayers;
  TBitmap32 fFrameBitmap;
  TBitmap32 fMaskBitmap;
  TPoint fMovieSize;
  TPoint fSceneOffset;
  bool fVectorMode = false;
  std::int32_t fCellDrawWidth = 0;
  std::int32_t fCellDrawHeight = 0;
  std::string fMusicPath;
  std::string fMusicName;
  // The music file a load wrote for the movie shown, if it wrote one.
  TPrivateFile fMusicFile;
  std::vector<std::string> fPlayList;
  TPlayOrder fOrder;
  bool fPlayListActive = false;
  bool fShowing = false;
  // Wraps of a single movie since it loaded.
  std::int64_t fPasses = 0;
  bool fFinished = false;
  // Set while a tick wraps: frames drawn then are not handed on.
  bool fInWrap = false;
  // Whether a frame drawn in part has been said since the show was loaded.
  bool fFrameFaultSaid = false;

  // The frame bar starts with one position, so that nothing plays before a
  // movie sets its range.
  TScrollBarState fFrames{1, 1, 1};
  bool fPlayable = false;
  bool fRunning = false;
  std::int32_t fTickInterval = 1000;
  bool fShutDown = false;
  std::string fLastLoadError;
  std::uint64_t fLoadMemory = 0;
  std::uint64_t fShowNumber = 0;
  std::int32_t fLastFrame = 0;
};

}  // namespace lumora
