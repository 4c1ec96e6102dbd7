// The service's word to systemd when it runs as a Type=notify unit: ready,
// a status line, the watchdog's keep-alive, stopping. Outside systemd (no
// $NOTIFY_SOCKET) every call does nothing.
#pragma once

#include <chrono>
#include <string>

namespace lumora::schedule {

// Started and serving; `status` is shown by `systemctl status`.
void NotifyReady(const std::string& status = {});
void NotifyStatus(const std::string& status);
// Still alive: call it every WatchdogPingInterval() from the thread whose
// stall should restart the service (the show engine's).
void NotifyWatchdog();
void NotifyStopping();
// Half the watchdog timeout the unit asks for (WatchdogSec=); zero when
// there is no watchdog for this process.
std::chrono::microseconds WatchdogPingInterval();

}  // namespace lumora::schedule
