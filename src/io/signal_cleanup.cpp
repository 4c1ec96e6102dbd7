#include "io/signal_cleanup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace lumora {

namespace {

constexpr int kSlots = 32;
constexpr int kFree = 0;
constexpr int kFilling = 1;
constexpr int kNoted = 2;

// Plain memory and lock-free flags: all a signal handler may touch.
struct TSlot {
  std::atomic<int> State{kFree};
  char Path[PATH_MAX] = {};
  dev_t Device = 0;
  ino_t Inode = 0;
};

TSlot gSlots[kSlots];

// Only lstat, unlink and rmdir, which are safe in a handler. Files first,
// then folders, so that a folder noted with a file in it is empty by then.
void removeNoted() {
  for (const bool folders : {false, true}) {
    for (TSlot& slot : gSlots) {
      if (slot.State.load() != kNoted) continue;
      struct stat st {};
      if (::lstat(slot.Path, &st) != 0 || st.st_dev != slot.Device || st.st_ino != slot.Inode) continue;
      if (S_ISDIR(st.st_mode) != folders) continue;
      if (folders) {
        ::rmdir(slot.Path);
      } else {
        ::unlink(slot.Path);
      }
    }
  }
}

// The handler is reset to the default before it runs; the signal raised
// again is delivered as it returns and ends the process with its usual
// status.
extern "C" void removeAndEnd(int signal) {
  removeNoted();
  ::raise(signal);
}

}  // namespace

void RemoveOnSignals(std::initializer_list<int> signals) {
  struct sigaction action {};
  action.sa_handler = removeAndEnd;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : signals) sigaddset(&action.sa_mask, signal);
  for (const int signal : signals) ::sigaction(signal, &action, nullptr);
}

int NoteForRemoval(const char* path, dev_t device, ino_t inode) {
  if (std::strlen(path) >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!gSlots[i].State.compare_exchange_strong(expected, kFilling)) continue;
    std::strcpy(gSlots[i].Path, path);
    gSlots[i].Device = device;
    gSlots[i].Inode = inode;
    gSlots[i].State.store(kNoted);
    return i;
  }
  return -1;
}

void ForgetRemoval(int slot) {
  if (slot >= 0 && slot < kSlots) gSlots[slot].State.store(kFree);
}

}  // namespace lumora
