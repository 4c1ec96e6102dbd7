// OSC on a running player, in one process: liblo's oscsend on 127.0.0.1
// reaches the command bus (run here as the engine's thread would), faults
// are counted and told at most once a second, timecode goes to the
// follower's taker.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <thread>

#include "control/show_commands.h"
#include "support/program_run.h"
#include "sync/osc_control.h"

namespace lumora::sync {
namespace {

using namespace std::chrono_literals;

void oscsend(std::uint16_t port, const std::string& message) {
  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("lumora_osc_control_" + std::to_string(::getpid()))).string();
  const auto run = lumora::test::RunProgram("oscsend 127.0.0.1 " + std::to_string(port) + " " + message, scratch);
  ASSERT_EQ(run.Status, 0) << run.Errors;
}

TEST(OscControl, ReachesTheBus) {
  control::TCommandBus bus;
  std::vector<control::TCommand> ran;
  for (const control::TCommandSpec& spec : control::ShowCommandSpecs()) {
    bus.Register(spec, [&ran](const control::TCommand& c) {
      ran.push_back(c);
      return c.Name == "next" ? control::TCommandResult::Fail("", "no play list plays") : control::TCommandResult::Ok();
    });
  }
  control::TStatusBoard board({"test", "host"});
  std::mutex lock;
  std::vector<TOscTimecode> timecodes;
  TSyncSetup setup;
  setup.Osc = output::TEndpoint{output::kLoopbackAddress, 0};
  TOscControl osc(setup, bus, board, [&](const TOscTimecode& t, TSyncTime) {
    const std::lock_guard hold(lock);
    timecodes.push_back(t);
  }, TSyncClock::now);
  ASSERT_NE(osc.Port(), 0);

  std::thread sender([&] {
    for (const char* m : {"/lumora/brightness f 0.5", "/lumora/next", "/lumora/timecode/seconds f 12.5", "/lumora/dance"}) {
      oscsend(osc.Port(), m);
    }
  });
  for (int i = 0; i < 500 && (ran.size() < 2 || osc.Counts().Faults < 2); ++i) {
    bus.RunPending();
    std::this_thread::sleep_for(10ms);
  }
  sender.join();
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0].Name, "brightness");
  EXPECT_EQ(ran[0].Args, (nlohmann::json{{"percent", 50.0}}));
  EXPECT_EQ(ran[0].Source, control::TCommandSource::Osc);
  EXPECT_EQ(ran[1].Name, "next");
  const TOscCounts counts = osc.Counts();
  EXPECT_EQ(counts.Commands, 2u);
  EXPECT_EQ(counts.Faults, 2u) << "the refused next and the unknown dance";
  EXPECT_EQ(counts.Refused, 0u);
  const auto messages = board.Current()->Messages;
  ASSERT_EQ(messages.size(), 1u) << "a second fault within the second is counted, not told";
  EXPECT_EQ(messages[0].Text, "OSC next from 127.0.0.1: no play list plays");
  const std::lock_guard hold(lock);
  ASSERT_EQ(timecodes.size(), 1u);
  EXPECT_EQ(timecodes[0].Seconds, 12.5);
}

TEST(OscControl, APortInUseIsNamed) {
  control::TCommandBus bus;
  control::TStatusBoard board({"test", "host"});
  TSyncSetup setup;
  setup.Osc = output::TEndpoint{output::kLoopbackAddress, 0};
  const TOscControl first(setup, bus, board, nullptr, TSyncClock::now);
  setup.Osc->Port = first.Port();
  try {
    TOscControl second(setup, bus, board, nullptr, TSyncClock::now);
    ADD_FAILURE() << "a second server took the port";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("OSC: cannot listen on 127.0.0.1:" + std::to_string(first.Port()), 0), 0u)
        << e.what();
  }
}

}  // namespace
}  // namespace lumora::sync
