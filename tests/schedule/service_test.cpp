// The service: its word to systemd through a real notify socket, and its
// unit and system user checked by systemd's own tools.
#include "schedule/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "io/stream.h"
#include "support/program_run.h"
#include "support/scoped_env.h"

namespace lumora::schedule {
namespace {

namespace fs = std::filesystem;

// A folder of its own under the temporary folder, removed after.
class TScratch {
 public:
  TScratch() {
    std::string pattern = TempDirectory() + "lumora-service-XXXXXX";
    fPath = ::mkdtemp(pattern.data());
  }
  ~TScratch() { fs::remove_all(fPath); }
  const fs::path& Path() const { return fPath; }

 private:
  fs::path fPath;
};

// What systemd would read: datagrams on a socket named by NOTIFY_SOCKET.
class TNotifySocket {
 public:
  explicit TNotifySocket(const fs::path& path) : fEnv("NOTIFY_SOCKET", path.c_str()) {
    fHandle = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ::bind(fHandle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  ~TNotifySocket() { ::close(fHandle); }
  std::string Next() {
    char buffer[512];
    const ssize_t n = ::recv(fHandle, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? std::string("(nothing)") : std::string(buffer, static_cast<std::size_t>(n));
  }

 private:
  test::TScopedEnv fEnv;
  int fHandle = -1;
};

TEST(ServiceNotify, SaysReadyStatusWatchdogAndStoppingToTheNotifySocket) {
  TScratch scratch;
  TNotifySocket systemd(scratch.Path() / "notify");
  NotifyReady();
  EXPECT_EQ(systemd.Next(), "READY=1");
  NotifyReady("Playing evening.lst\nentry 2 of 3");
  EXPECT_EQ(systemd.Next(), "READY=1\nSTATUS=Playing evening.lst");
  NotifyStatus("Idle");
  EXPECT_EQ(systemd.Next(), "STATUS=Idle");
  NotifyWatchdog();
  EXPECT_EQ(systemd.Next(), "WATCHDOG=1");
  NotifyStopping();
  EXPECT_EQ(systemd.Next(), "STOPPING=1");
  EXPECT_EQ(systemd.Next(), "(nothing)");
}

TEST(ServiceNotify, OutsideSystemdNothingHappens) {
  test::TScopedEnv noSocket("NOTIFY_SOCKET", nullptr);
  test::TScopedEnv noWatchdog("WATCHDOG_USEC", nullptr);
  NotifyReady("ready");
  NotifyWatchdog();
  EXPECT_EQ(WatchdogPingInterval().count(), 0);
}

TEST(ServiceNotify, TheWatchdogIsPingedAtHalfItsTimeout) {
  const std::string pid = std::to_string(::getpid());
  test::TScopedEnv timeout("WATCHDOG_USEC", "30000000");
  test::TScopedEnv mine("WATCHDOG_PID", pid.c_str());
  EXPECT_EQ(WatchdogPingInterval(), std::chrono::seconds{15});
  test::TScopedEnv another("WATCHDOG_PID", "1");
  EXPECT_EQ(WatchdogPingInterval().count(), 0);
}

std::string ReadUnit() { return test::ReadText(fs::path(LUMORA_DIST_DIR) / "systemd" / "lumora-play.service"); }

// systemd-analyze needs the program the unit starts to exist: a copy of
// the unit starts this test program in place of the installed player.
TEST(ServiceUnit, PassesSystemdAnalyzeVerify) {
  std::string unit = ReadUnit();
  const std::string installed = "ExecStart=/usr/bin/lumora-play --config /etc/lumora/player.json";
  const std::size_t at = unit.find(installed);
  ASSERT_NE(at, std::string::npos) << "the unit starts the installed player";
  unit.replace(at, std::string("ExecStart=/usr/bin/lumora-play").size(), "ExecStart=" + fs::read_symlink("/proc/self/exe").string());
  TScratch scratch;
  const fs::path copy = scratch.Path() / "lumora-play.service";
  std::ofstream(copy) << unit;
  const test::TProgramRun run = test::RunProgram("systemd-analyze verify --man=no " + copy.string(), (scratch.Path() / "verify").string());
  EXPECT_EQ(run.Status, 0) << run.Errors;
  EXPECT_EQ(run.Errors, "");
  for (const char* setting : {"Type=notify", "WatchdogSec=", "Restart=on-failure", "ProtectSystem=strict", "PrivateTmp=yes", "NoNewPrivileges=yes",
                              "StateDirectory=lumora", "ConfigurationDirectory=lumora", "User=lumora", "StandardOutput=journal"}) {
    EXPECT_NE(unit.find(std::string("\n") + setting), std::string::npos) << setting;
  }
}

TEST(ServiceUnit, SysusersMakesTheSystemUserInTheAudioGroup) {
  TScratch root;
  fs::create_directories(root.Path() / "usr/lib/sysusers.d");
  fs::create_directories(root.Path() / "etc");
  fs::copy_file(fs::path(LUMORA_DIST_DIR) / "systemd" / "lumora.sysusers", root.Path() / "usr/lib/sysusers.d/lumora.conf");
  const test::TProgramRun run = test::RunProgram("systemd-sysusers --root=" + root.Path().string(), (root.Path() / "sysusers").string());
  ASSERT_EQ(run.Status, 0) << run.Errors;
  const std::string users = test::ReadText(root.Path() / "etc/passwd");
  const std::string groups = test::ReadText(root.Path() / "etc/group");
  EXPECT_NE(users.find("lumora:x:"), std::string::npos) << users;
  EXPECT_NE(users.find(":/var/lib/lumora:/usr/sbin/nologin"), std::string::npos) << users;
  EXPECT_NE(groups.find("audio:x:"), std::string::npos) << groups;
  EXPECT_NE(groups.substr(groups.find("audio:x:")).find(":lumora"), std::string::npos) << groups;
}

}  // namespace
}  // namespace lumora::schedule
