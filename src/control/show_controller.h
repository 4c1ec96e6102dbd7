// TShowController: the show's commands (play, stop, pause, resume, next,
// previous, entry, seek, speed, volume, mute, brightness, blackout, output,
// test, reload-patch) run on the engine's thread, the lamps they reach,
// and the status published after every change. The player's window and
// lumora-play both host one; what differs between them stays with them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "control/command_bus.h"
#include "control/status.h"
#include "control/test_pattern.h"
#include "output/show_output.h"
#include "show/show_engine.h"

namespace lumora::control {

enum class TStopAt : std::uint8_t { Nothing, EntryEnd, PassEnd };

struct TControllerOptions {
  // The folder whose shows inputs from the network may play; they name
  // them by their path inside it. Empty: none.
  std::string ShowFolder;
  // The patch file that reload-patch reads again; empty: none.
  std::string PatchFile;
  // Seconds of one pass of a show not played yet, when known (the show
  // folder's list measures them).
  std::function<std::optional<double>(const std::string& path)> KnownLength;
  std::function<std::chrono::steady_clock::time_point()> Clock = std::chrono::steady_clock::now;
};

class TShowController {
 public:
  TShowController(TShowEngine& engine, TCommandBus& bus, TStatusBoard& board, TControllerOptions options);
  ~TShowController();
  TShowController(const TShowController&) = delete;
  TShowController& operator=(const TShowController&) = delete;

  // Lights the lamps of a patch read already, from the show playing on;
  // a patch read again keeps the settings.
  void AttachLights(output::TPatchDefinition patch, output::TLiveSettings settings);
  output::TLightSink* Lights() { return fLights.get(); }

  // What the host tells the controller, on the engine's thread. The host's
  // timer calls Tick in place of the engine's; Poll comes about every 50 ms
  // whether anything plays or not.
  void Tick();
  void Poll();
  // Something the engine shows changed: the status follows.
  void Changed();
  // The show said something, or an output did.
  void Tell(const std::string& kind, const std::string& text);
  // The host opened a show itself (its command line, a second start).
  void Opened(const std::string& file, TCommandSource source);
  // The show played as often as it was asked.
  void Finished();
  // The program ends: the lamps go dark and what was sent is flushed.
  void Shutdown();

  // Whether a show started by hand keeps the stage from the schedule when
  // its play command does not say: the schedule's choice.
  void SetProtectByDefault(bool protect);

  const TShowStatus& Status() const { return fStatus; }
  const TControllerOptions& Options() const { return fOptions; }
  // Where network inputs find their shows, from now on.
  void SetShowFolder(std::string folder) { fOptions.ShowFolder = std::move(folder); }
  // Told on the engine's thread of every change of the status.
  void SetObserver(std::function<void(const TShowStatus& before, const TShowStatus& after)> observer) {
    fObserver = std::move(observer);
  }

 private:
  void registerCommands();
  TCommandResult play(const TCommand& command);
  TCommandResult stop(const TCommand& command);
  TCommandResult pause(bool pause);
  TCommandResult step(bool forward);
  TCommandResult entry(const TCommand& command);
  TCommandResult seek(const TCommand& command);
  TCommandResult speed(const TCommand& command);
  TCommandResult volume(const TCommand& command);
  TCommandResult mute(const TCommand& command);
  TCommandResult lightControl(const TCommand& command);
  TCommandResult test(const TCommand& command);
  TCommandResult reloadPatch();

  std::optional<std::string> showPath(const std::string& file, TCommandSource source, std::string& error) const;
  std::string shownName(const std::string& path) const;
  void stopNow();
  void applyControls();
  void installReadPatch();
  void noteEntry();
  void sampleOutputs();
  void publish();
  TShowStatus buildStatus() const;
  void fillTimes(TShowStatus& status) const;

  TShowEngine& fEngine;
  TCommandBus& fBus;
  TStatusBoard& fBoard;
  TControllerOptions fOptions;
  std::unique_ptr<output::TLightSink> fLights;
  output::TLiveSettings fLightSettings;
  output::TLightControls fControls;
  std::optional<TTestPattern> fTest;

  // What was started, by whom, and how it is to stop.
  std::string fFile;
  std::string fStartedBy;
  // The play command's "protect", when it gave one.
  std::optional<bool> fProtect;
  bool fProtectByDefault = false;
  TStopAt fStopAt = TStopAt::Nothing;
  std::int32_t fVolume = 100;
  bool fMuted = false;

  // Seconds each entry lasts, learned as entries load.
  std::map<std::string, double> fLengths;
  std::uint64_t fShowNumber = 0;
  std::int64_t fPass = 0;
  double fPassDone = 0;
  std::string fEntryPath;
  // Why the lamps stay dark for the show playing, if they do.
  std::string fLightsWarning;

  // Packets each output had sent at the last sample, and when.
  std::vector<std::uint64_t> fPackets;
  std::vector<double> fRates;
  std::chrono::steady_clock::time_point fSampled;

  // A patch being read again off the engine's thread.
  std::jthread fPatchReader;
  std::mutex fReadLock;
  std::optional<output::TPatchDefinition> fReadPatch;
  std::string fReadError;
  bool fReadDone = false;

  TShowStatus fStatus;
  std::function<void(const TShowStatus& before, const TShowStatus& after)> fObserver;
};

// A name inside a folder: relative, without "..", and not hidden.
bool IsPlainName(const std::string& name);

// The status's file names: a show inside the folder by its path there,
// any other by its full path.
std::string ShownName(const std::string& folder, const std::string& path);

}  // namespace lumora::control
