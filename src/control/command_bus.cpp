#include "control/command_bus.h"

#include <algorithm>
#include <exception>

namespace lumora::control {

TCommandBus::TCommandBus(std::size_t queueLimit) : fLimit(queueLimit) {}

TCommandBus::~TCommandBus() { Close(); }

void TCommandBus::Register(TCommandSpec spec, TCommandHandler handler) {
  const auto same = [&](const TEntry& e) { return e.Spec.Name == spec.Name; };
  std::erase_if(fEntries, same);
  fEntries.push_back({std::move(spec), std::move(handler)});
  fSpecs.clear();
  for (const TEntry& entry : fEntries) fSpecs.push_back(entry.Spec);
}

const TCommandBus::TEntry* TCommandBus::entryOf(std::string_view name) const {
  const auto it = std::find_if(fEntries.begin(), fEntries.end(), [&](const TEntry& e) { return e.Spec.Name == name; });
  return it == fEntries.end() ? nullptr : &*it;
}

const TCommandSpec* TCommandBus::Find(std::string_view name) const {
  const TEntry* entry = entryOf(name);
  return entry == nullptr ? nullptr : &entry->Spec;
}

TCommandResult TCommandBus::check(const TCommand& command) const {
  const TEntry* entry = entryOf(command.Name);
  if (entry == nullptr) return TCommandResult::Failed(TFault::Unknown, "there is no command \"" + command.Name + "\"");
  return ValidateArguments(entry->Spec, command.Args);
}

TCommandResult TCommandBus::Run(const TCommand& command) {
  TCommandResult checked = check(command);
  if (!checked.Done) return checked;
  return runChecked(command);
}

// A handler's exception is the command's failure; the show plays on.
TCommandResult TCommandBus::runChecked(const TCommand& command) {
  TCommandResult result;
  try {
    result = entryOf(command.Name)->Handler(command);
  } catch (const std::exception& error) {
    result = TCommandResult::Fail("", error.what());
  }
  if (fRan) fRan(command, result);
  return result;
}

TCommandResult TCommandBus::Post(TCommand command, std::chrono::milliseconds wait) {
  TCommandResult checked = check(command);
  if (!checked.Done) return checked;
  auto pending = std::make_shared<TPending>();
  pending->Command = std::move(command);
  std::unique_lock lock(fLock);
  if (fClosed) return TCommandResult::Failed(TFault::Busy, "the show is shutting down");
  if (fQueue.size() >= fLimit) return TCommandResult::Failed(TFault::Busy, "too many commands are waiting; try again");
  fQueue.push_back(pending);
  lock.unlock();
  if (fWake) fWake();
  lock.lock();
  const auto finished = [&] { return pending->State == TState::Finished; };
  if (fFinished.wait_for(lock, wait, finished)) return pending->Result;
  if (pending->State == TState::Queued) {
    pending->State = TState::Withdrawn;
    std::erase(fQueue, pending);
    return TCommandResult::Failed(TFault::Busy, "the show did not take the command in time");
  }
  // Taken already: a command runs briefly, so its result is worth the wait.
  fFinished.wait(lock, finished);
  return pending->Result;
}

void TCommandBus::RunPending() {
  for (;;) {
    std::shared_ptr<TPending> pending;
    {
      const std::lock_guard lock(fLock);
      if (fQueue.empty()) return;
      pending = fQueue.front();
      fQueue.pop_front();
      pending->State = TState::Running;
    }
    finish(*pending, runChecked(pending->Command));
  }
}

void TCommandBus::finish(TPending& pending, TCommandResult result) {
  {
    const std::lock_guard lock(fLock);
    pending.Result = std::move(result);
    pending.State = TState::Finished;
  }
  fFinished.notify_all();
}

void TCommandBus::Close() {
  std::deque<std::shared_ptr<TPending>> refused;
  {
    const std::lock_guard lock(fLock);
    fClosed = true;
    refused.swap(fQueue);
  }
  for (const auto& pending : refused) finish(*pending, TCommandResult::Failed(TFault::Busy, "the show is shutting down"));
}

}  // namespace lumora::control
