#include "app/qt/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <stdexcept>

namespace lumora {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

int gPipe[2] = {-1, -1};
std::atomic<int> gSignalsSeen = 0;

// Only async-signal-safe calls here.
void onSignal(int signal) {
  if (gSignalsSeen.fetch_add(1) > 0) ::_exit(128 + signal);
  const auto byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
}

void handle(int signal, void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

TStopSignals::TStopSignals(std::function<void(int)> onStop) : fOnStop(std::move(onStop)) {
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot make the signal pipe");
  gSignalsSeen = 0;
  fNotifier = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  QObject::connect(fNotifier.get(), &QSocketNotifier::activated, fNotifier.get(), [this] {
    unsigned char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1) fOnStop(byte);
  });
  for (const int signal : kStopSignals) handle(signal, onSignal);
  handle(SIGPIPE, SIG_IGN);
}

TStopSignals::~TStopSignals() {
  for (const int signal : kStopSignals) handle(signal, SIG_DFL);
  fNotifier.reset();
  ::close(gPipe[0]);
  ::close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

}  // namespace lumora
