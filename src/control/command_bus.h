// TCommandBus: the one path by which every input reaches the show. Each
// named command is checked against its spec and run on the show engine's
// thread, in the order it came; inputs on other threads queue theirs (a
// bounded queue) and wait for the result.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "control/command.h"
#include "control/command_spec.h"

namespace lumora::control {

using TCommandHandler = std::function<TCommandResult(const TCommand& command)>;

inline constexpr std::size_t kCommandQueueLimit = 64;
inline constexpr std::chrono::milliseconds kCommandWait{5000};

class TCommandBus {
 public:
  explicit TCommandBus(std::size_t queueLimit = kCommandQueueLimit);
  ~TCommandBus();
  TCommandBus(const TCommandBus&) = delete;
  TCommandBus& operator=(const TCommandBus&) = delete;

  // Setting up, before any input starts: a command by its spec, replacing
  // one of the same name.
  void Register(TCommandSpec spec, TCommandHandler handler);
  const std::vector<TCommandSpec>& Specs() const { return fSpecs; }
  const TCommandSpec* Find(std::string_view name) const;

  // The engine's thread: checks and runs the command at once.
  TCommandResult Run(const TCommand& command);
  // Any other thread: checks the command, queues it for the engine's
  // thread and waits for its result. A command the engine has not taken
  // within the wait is withdrawn and answered as such; a full queue or a
  // closed bus answers at once.
  TCommandResult Post(TCommand command, std::chrono::milliseconds wait = kCommandWait);
  // The engine's thread: runs what is queued, in order.
  void RunPending();
  // Called on the posting thread whenever a command is queued, so that the
  // engine's thread calls RunPending soon. Set before inputs start.
  void SetWake(std::function<void()> wake) { fWake = std::move(wake); }
  // Told on the engine's thread after every command that ran.
  void SetRan(std::function<void(const TCommand&, const TCommandResult&)> ran) { fRan = std::move(ran); }
  // The show is ending: queued commands and later posts are refused.
  void Close();

 private:
  enum class TState : std::uint8_t { Queued, Running, Withdrawn, Finished };
  struct TPending {
    TCommand Command;
    TState State = TState::Queued;
    TCommandResult Result;
  };
  struct TEntry {
    TCommandSpec Spec;
    TCommandHandler Handler;
  };

  const TEntry* entryOf(std::string_view name) const;
  TCommandResult check(const TCommand& command) const;
  TCommandResult runChecked(const TCommand& command);
  void finish(TPending& pending, TCommandResult result);

  std::size_t fLimit;
  std::vector<TEntry> fEntries;
  std::vector<TCommandSpec> fSpecs;
  std::function<void()> fWake;
  std::function<void(const TCommand&, const TCommandResult&)> fRan;

  std::mutex fLock;
  std::condition_variable fFinished;
  // Under fLock.
  std::deque<std::shared_ptr<TPending>> fQueue;
  bool fClosed = false;
};

}  // namespace lumora::control
