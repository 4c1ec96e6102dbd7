// A control service on 127.0.0.1 with a port of its own, over a bus whose
// engine thread is the fixture's: commands run as the show would run
// them, one at a time, on one thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "service/control_service.h"
#include "service/password.h"

namespace lumora::service::testing {

inline constexpr const char* kPassword = "lamp-post-7";

// Hashing takes a moment on purpose; the tests share one hash.
inline const std::string& PasswordHash() {
  static const std::string hash = HashPassword(kPassword);
  return hash;
}

// A clock the test moves by hand.
struct TFakeClock {
  std::atomic<std::int64_t> Seconds = 1000;
  TSteadyClock Clock() {
    return [this] { return std::chrono::steady_clock::time_point(std::chrono::seconds(Seconds.load())); };
  }
};

class TEngineThread {
 public:
  explicit TEngineThread(control::TCommandBus& bus) : fBus(bus) {
    bus.SetWake([this] {
      const std::lock_guard lock(fLock);
      fWoken = true;
      fWake.notify_one();
    });
    fThread = std::jthread([this](std::stop_token stop) { run(stop); });
  }
  ~TEngineThread() {
    fThread.request_stop();
    fWake.notify_one();
  }

 private:
  void run(std::stop_token stop) {
    while (!stop.stop_requested()) {
      {
        std::unique_lock lock(fLock);
        fWake.wait(lock, stop, [this] { return fWoken; });
        fWoken = false;
      }
      fBus.RunPending();
    }
  }

  control::TCommandBus& fBus;
  std::mutex fLock;
  std::condition_variable_any fWake;
  bool fWoken = false;
  std::jthread fThread;
};

struct TServiceFixture {
  control::TCommandBus Bus;
  control::TStatusBoard Status{{"9.9.9", "test-host", {}}};
  std::atomic<int> Level = 0;
  TFakeClock Time;
  std::unique_ptr<TEngineThread> Engine;
  std::unique_ptr<TControlService> Service;

  explicit TServiceFixture(TServiceOptions options = {}, std::vector<TResourceRoute> routes = {}) {
    Bus.Register(control::CommandSpec("level", "sets the level",
                                      {control::IntegerArgument("percent", "the level", 0, 100, true)}),
                 [this](const control::TCommand& c) {
                   Level = static_cast<int>(control::IntegerOf(c.Args, "percent", 0));
                   return control::TCommandResult::Ok();
                 });
    Bus.Register(control::CommandSpec("refuse", "always refuses"), [](const control::TCommand&) {
      return control::TCommandResult::Fail("", "nothing plays");
    });
    Bus.Register(control::CommandSpec("echo", "answers its arguments",
                                      {control::IntegerArgument("days", "days", 1, 60)}),
                 [](const control::TCommand& c) { return control::TCommandResult::Ok(c.Args); });
    Engine = std::make_unique<TEngineThread>(Bus);
    options.PasswordHash = PasswordHash();
    options.Clock = Time.Clock();
    TServiceParts parts;
    parts.Bus = &Bus;
    parts.Status = &Status;
    parts.Shows = [] { return nlohmann::json::array({{{"name", "demo.lst"}, {"kind", "list"}, {"length", 50.3}}}); };
    parts.Routes = std::move(routes);
    Service = std::make_unique<TControlService>(std::move(parts), std::move(options));
  }

  ~TServiceFixture() {
    Service.reset();
    Engine.reset();
  }

  std::uint16_t Port() const { return Service->Port(); }
};

}  // namespace lumora::service::testing
