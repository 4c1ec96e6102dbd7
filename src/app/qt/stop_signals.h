// TStopSignals: the signals that ask a program to end (SIGINT, SIGTERM,
// SIGHUP for a closed terminal, SIGQUIT) turned into a call on the Qt event
// loop, through a pipe the handler writes to, so that the program stops as
// it would when asked from inside (the lamps blacked out). SIGPIPE is
// ignored. A second such signal while the first is being handled ends the
// process at once, for a stop that hangs.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace lumora {

class TStopSignals {
 public:
  // One object at a time; onStop gets the signal's number.
  explicit TStopSignals(std::function<void(int)> onStop);
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  std::function<void(int)> fOnStop;
  std::unique_ptr<QSocketNotifier> fNotifier;
};

}  // namespace lumora
