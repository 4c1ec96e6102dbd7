#include "schedule/service_notify.h"

#include <cstdint>

#include <systemd/sd-daemon.h>

namespace lumora::schedule {

namespace {

void notify(const std::string& message) { sd_notify(0, message.c_str()); }

// systemd reads a field a line: a status keeps to its first line.
std::string statusField(const std::string& status) { return "STATUS=" + status.substr(0, status.find('\n')); }

}  // namespace

void NotifyReady(const std::string& status) { notify(status.empty() ? "READY=1" : "READY=1\n" + statusField(status)); }

void NotifyStatus(const std::string& status) { notify(statusField(status)); }

void NotifyWatchdog() { notify("WATCHDOG=1"); }

void NotifyStopping() { notify("STOPPING=1"); }

std::chrono::microseconds WatchdogPingInterval() {
  std::uint64_t timeout = 0;
  if (sd_watchdog_enabled(0, &timeout) <= 0) return std::chrono::microseconds{0};
  return std::chrono::microseconds{static_cast<std::int64_t>(timeout / 2)};
}

}  // namespace lumora::schedule
