// The OLA output against a real OLA daemon on a private RPC port, read back
// with OLA's own client: a daemon that is not running yet, then running,
// then gone, each reported once while the show plays on.
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ola/Clock.h>
#include <ola/DmxBuffer.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/IPV4Address.h>
#include <ola/network/SocketAddress.h>
#include <ola/network/TCPSocket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "output/live_output.h"
#include "output_fixtures.h"

namespace lumora::output {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

constexpr const char* kOlad = "/usr/bin/olad";
constexpr const char* kSetpriv = "/usr/bin/setpriv";

// Every plugin of OLA 0.10: each is switched off in the daemon's private
// configuration, since some announce themselves by broadcast.
constexpr const char* kPlugins[] = {"artnet",   "dummy",  "e131",     "espnet",     "ftdidmx", "gpio",
                                    "karate",   "kinet",  "milinst",  "opendmx",    "openpixelcontrol",
                                    "osc",      "pathport", "renard", "sandnet",    "shownet", "spi",
                                    "stageprofi", "uartdmx", "usbdmx", "usbserial"};
// Configuration the daemon itself writes, not a plugin's.
constexpr const char* kDaemonFiles[] = {"ola-server.conf", "ola-port.conf", "ola-universe.conf", "olad.log"};

std::uint16_t freeTcpPort() {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(handle);
  return ntohs(address.sin_port);
}

bool accepts(std::uint16_t port) {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool connected = ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(handle);
  return connected;
}

// olad with every plugin off, no web server and no DNS-SD, in a
// configuration folder of its own. It refuses to run as root, so under root
// it runs as nobody (setpriv is util-linux's, on every Debian).
class TOlaDaemon {
 public:
  TOlaDaemon(const fs::path& folder, std::uint16_t port) : fFolder(folder) {
    fs::create_directories(folder);
    for (const char* plugin : kPlugins) std::ofstream(folder / ("ola-" + std::string(plugin) + ".conf")) << "enabled = false\n";
    // The daemon goes with this test even when the test dies.
    std::vector<std::string> arguments = {kSetpriv, "--pdeathsig", "TERM"};
    if (::geteuid() == 0) {
      handToNobody();
      arguments.insert(arguments.end(), {"--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    arguments.insert(arguments.end(), {kOlad, "--config-dir", folder.string(), "--rpc-port", std::to_string(port),
                                       "--no-http", "--no-register-with-dns-sd", "--log-level", "2"});
    spawn(arguments, (folder / "olad.log").string());
  }
  ~TOlaDaemon() { Stop(); }

  void Stop() {
    if (fPid <= 0) return;
    ::kill(fPid, SIGTERM);
    ::waitpid(fPid, nullptr, 0);
    fPid = -1;
  }
  bool Running() { return fPid > 0 && ::waitpid(fPid, nullptr, WNOHANG) == 0; }
  std::string Log() const {
    std::ifstream in(fFolder / "olad.log");
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Plugin configurations the daemon wrote itself: plugins left switched on.
  std::vector<std::string> PluginsNotSwitchedOff() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(fFolder)) {
      const std::string name = entry.path().filename().string();
      const bool ours = std::any_of(std::begin(kPlugins), std::end(kPlugins),
                                    [&](const char* p) { return name == "ola-" + std::string(p) + ".conf"; }) ||
                        std::any_of(std::begin(kDaemonFiles), std::end(kDaemonFiles), [&](const char* f) { return name == f; });
      if (!ours) found.push_back(name);
    }
    return found;
  }

 private:
  void handToNobody() const {
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    ASSERT_TRUE(nobody != nullptr && nogroup != nullptr);
    for (const auto& entry : fs::recursive_directory_iterator(fFolder)) {
      ASSERT_EQ(::chown(entry.path().c_str(), nobody->pw_uid, nogroup->gr_gid), 0);
    }
    ASSERT_EQ(::chown(fFolder.c_str(), nobody->pw_uid, nogroup->gr_gid), 0);
  }

  void spawn(const std::vector<std::string>& arguments, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    EXPECT_EQ(posix_spawn(&fPid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }

  fs::path fFolder;
  pid_t fPid = -1;
};

// Fetches universes from the daemon as any OLA client does.
class TOlaReader {
 public:
  explicit TOlaReader(std::uint16_t port)
      : fSocket(ola::network::TCPSocket::Connect(
            ola::network::IPV4SocketAddress(ola::network::IPV4Address::Loopback(), port))) {
    if (!fSocket) return;
    fClient = std::make_unique<ola::client::OlaClient>(fSocket.get());
    fServer.AddReadDescriptor(fSocket.get());
    fClient->Setup();
  }
  ~TOlaReader() {
    if (fClient) fClient->Stop();
  }

  // The daemon keeps only universes something is patched to or listens to,
  // as a monitor does: streamed data for any other is dropped.
  bool Listen(unsigned universe) {
    if (!fClient) return false;
    fDone = false;
    fListening = false;
    fClient->RegisterUniverse(universe, ola::client::REGISTER, ola::NewSingleCallback(this, &TOlaReader::registered));
    for (int i = 0; i < 100 && !fDone; ++i) fServer.RunOnce(ola::TimeInterval(0, 20000));
    return fListening;
  }

  std::optional<Bytes> Fetch(unsigned universe) {
    if (!fClient) return std::nullopt;
    fDone = false;
    fData.reset();
    fClient->FetchDMX(universe, ola::NewSingleCallback(this, &TOlaReader::fetched));
    for (int i = 0; i < 100 && !fDone; ++i) fServer.RunOnce(ola::TimeInterval(0, 20000));
    return fData;
  }

 private:
  void fetched(const ola::client::Result& result, const ola::client::DMXMetadata&, const ola::DmxBuffer& dmx) {
    fDone = true;
    if (!result.Success()) return;
    fData = Bytes(dmx.GetRaw(), dmx.GetRaw() + dmx.Size());
  }

  void registered(const ola::client::Result& result) {
    fDone = true;
    fListening = result.Success();
  }

  std::unique_ptr<ola::network::TCPSocket> fSocket;
  ola::io::SelectServer fServer;
  std::unique_ptr<ola::client::OlaClient> fClient;
  bool fDone = false;
  bool fListening = false;
  std::optional<Bytes> fData;
};

// Universes 3–15 read back and joined, once they equal what is expected.
Bytes readUniversesUntil(TOlaReader& reader, const Bytes& expected) {
  Bytes joined;
  for (int attempt = 0; attempt < 100 && joined != expected; ++attempt) {
    joined.clear();
    for (unsigned universe = 3; universe <= 15; ++universe) {
      const Bytes data = reader.Fetch(universe).value_or(Bytes{});
      joined.insert(joined.end(), data.begin(), data.end());
    }
    if (joined != expected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return joined;
}

TEST(OlaOutput, SendsToARealDaemonAndReportsItsComingsAndGoings) {
  if (!fs::exists(kOlad)) GTEST_SKIP() << kOlad << " is not installed (Debian package ola)";
  const std::uint16_t port = freeTcpPort();
  test::TReportLog log;
  TLiveSettings settings;
  settings.Retry = std::chrono::milliseconds(100);
  settings.Report = log.Sink();
  TMovieShape movie = test::SmallMovie();
  movie.GridLayers.push_back({32, 64});
  const auto owned = test::BoundLiveOutput(R"({"fixtures": [{"source": "grid", "layer": 2, "start": 1}],
      "outputs": [{"protocol": "ola", "channels": [1, 6144], "universe": 3, "port": )" + std::to_string(port) + "}]}",
                                           movie, settings);
  TLiveOutput& live = *owned;
  const test::TTestGrid grid(movie.GridLayers);
  TFrameView frame;
  frame.Grid = &grid;
  const auto play = [&] { live.ShowFrame(frame); };
  const std::string name = "OLA universes 3–15 on RPC port " + std::to_string(port);
  EXPECT_EQ(log.Await(1, play), std::vector<std::string>{name + ": no OLA daemon answers; will keep trying"});

  const fs::path folder = fs::temp_directory_path() / ("lumora_olad_" + std::to_string(port));
  TOlaDaemon daemon(folder, port);
  for (int i = 0; i < 300 && !accepts(port) && daemon.Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(accepts(port)) << daemon.Log();
  EXPECT_EQ(daemon.PluginsNotSwitchedOff(), std::vector<std::string>{});
  TOlaReader reader(port);
  for (unsigned universe = 3; universe <= 15; ++universe) ASSERT_TRUE(reader.Listen(universe)) << universe;
  const std::vector<std::string> back = log.Await(2, play);
  ASSERT_EQ(back.size(), 2u) << daemon.Log();
  EXPECT_EQ(back[1], name + ": sending again");

  Bytes expected;
  for (int cell = 0; cell < 64 * 32; ++cell) expected.insert(expected.end(), {std::uint8_t(cell / 64), std::uint8_t(cell % 64), 33});
  EXPECT_EQ(readUniversesUntil(reader, expected), expected);
  live.Stop();
  live.Flush();
  EXPECT_EQ(readUniversesUntil(reader, Bytes(6144, 0)), Bytes(6144, 0));

  daemon.Stop();
  const std::vector<std::string> all = log.Await(3, play);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], name + ": the OLA daemon closed the connection; will keep trying");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace lumora::output
