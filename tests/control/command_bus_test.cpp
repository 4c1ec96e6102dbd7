#include "control/command_bus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace lumora::control {
namespace {

TCommandSpec seekSpec() {
  TCommandSpec spec = CommandSpec("seek", "moves the show",
                                  {IntegerArgument("frame", "a frame", 1, 1000), NumberArgument("seconds", "a time", 0, 3600)});
  spec.OneOf = {"frame", "seconds"};
  spec.OneRequired = true;
  return spec;
}

TCommandSpec playSpec() {
  return CommandSpec("play", "plays",
                     {StringArgument("file", "a show", true, 8), IntegerArgument("loops", "passes", 0, 100),
                      ChoiceArgument("when", "when", {"now", "entry", "pass"}), BooleanArgument("on", "on")});
}

TEST(CommandSpec, ArgumentsAreCheckedAndTheFaultIsNamed) {
  struct TCase {
    const char* Args;
    const char* Argument;
    const char* Error;
  };
  const TCase cases[] = {
      {R"({"file": "a.lst"})", "", ""},
      {R"({"file": "a.lst", "loops": 3, "when": "pass", "on": true})", "", ""},
      {R"({"file": "a.lst", "loops": 3.0})", "", ""},
      {R"({})", "file", "is required"},
      {"null", "file", "is required"},
      {R"({"file": 7})", "file", "must be a string"},
      {R"({"file": "longer.lst"})", "file", "is longer than 8 bytes"},
      {R"({"file": "a", "loops": 1.5})", "loops", "must be a whole number"},
      {R"({"file": "a", "loops": "2"})", "loops", "must be a whole number"},
      {R"({"file": "a", "loops": 101})", "loops", "must be from 0 to 100"},
      {R"({"file": "a", "loops": -1})", "loops", "must be from 0 to 100"},
      {R"({"file": "a", "loops": 1e300})", "loops", "must be from 0 to 100"},
      {R"({"file": "a", "when": "later"})", "when", R"(must be one of "now", "entry", "pass")"},
      {R"({"file": "a", "on": 1})", "on", "must be true or false"},
      {R"({"file": "a", "colour": "red"})", "colour", R"(is not an argument of "play")"},
      {R"([1, 2])", "", "the arguments must be a JSON object"},
  };
  for (const TCase& c : cases) {
    const TCommandResult result = ValidateArguments(playSpec(), nlohmann::json::parse(c.Args));
    EXPECT_EQ(result.Done, std::string(c.Error).empty()) << c.Args;
    EXPECT_EQ(result.Argument, c.Argument) << c.Args;
    EXPECT_EQ(result.Error, c.Error) << c.Args;
  }
}

TEST(CommandSpec, OneOfTakesExactlyOne) {
  struct TCase {
    const char* Args;
    const char* Argument;
    const char* Error;
  };
  const TCase cases[] = {
      {R"({"frame": 10})", "", ""},
      {R"({"seconds": 2.5})", "", ""},
      {R"({})", "frame", R"(one of "frame", "seconds" is needed)"},
      {R"({"frame": 10, "seconds": 1})", "seconds", R"(cannot be given with "frame")"},
      {R"({"seconds": -0.5})", "seconds", "must be from 0 to 3600"},
  };
  for (const TCase& c : cases) {
    const TCommandResult result = ValidateArguments(seekSpec(), nlohmann::json::parse(c.Args));
    EXPECT_EQ(result.Argument, c.Argument) << c.Args;
    EXPECT_EQ(result.Error, c.Error) << c.Args;
  }
}

TEST(CommandSpec, SchemaDescribesTheArguments) {
  const nlohmann::json schema = ArgumentsSchema(playSpec());
  EXPECT_EQ(schema["required"], nlohmann::json({"file"}));
  EXPECT_EQ(schema["properties"]["loops"]["minimum"], 0);
  EXPECT_EQ(schema["properties"]["loops"]["maximum"], 100);
  EXPECT_EQ(schema["properties"]["when"]["enum"], nlohmann::json({"now", "entry", "pass"}));
  EXPECT_EQ(schema["additionalProperties"], false);
  EXPECT_EQ(ArgumentsSchema(seekSpec())["oneOf"],
            nlohmann::json::parse(R"([{"required": ["frame"]}, {"required": ["seconds"]}])"));
}

// A bus whose engine thread is the test's: commands posted from other
// threads run only when the test calls RunPending.
struct TRecordingBus {
  TCommandBus Bus{4};
  std::vector<std::string> Ran;
  std::atomic<int> Wakes = 0;

  TRecordingBus() {
    Bus.SetWake([this] { ++Wakes; });
    Bus.Register(seekSpec(), [this](const TCommand& c) {
      Ran.push_back(c.Args.dump());
      return TCommandResult::Ok(c.Args);
    });
    Bus.Register(CommandSpec("fail", "always fails"), [](const TCommand&) -> TCommandResult {
      throw std::runtime_error("the lamps are on fire");
    });
  }

  // Runs pending commands until n have run.
  void RunUntil(std::size_t n) {
    while (Ran.size() < n) {
      Bus.RunPending();
      std::this_thread::yield();
    }
  }
};

TEST(CommandBus, RunsCommandsOnItsThreadInTheOrderPosted) {
  TRecordingBus r;
  std::vector<TCommandResult> results(3);
  std::jthread poster([&] {
    for (int i = 0; i < 3; ++i) results[i] = r.Bus.Post({"seek", {{"frame", i + 1}}, TCommandSource::Http});
  });
  r.RunUntil(3);
  poster.join();
  EXPECT_EQ(r.Ran, (std::vector<std::string>{R"({"frame":1})", R"({"frame":2})", R"({"frame":3})"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(results[i].Done);
    EXPECT_EQ(results[i].Data["frame"], i + 1) << "each poster gets its own command's result";
  }
  EXPECT_EQ(r.Wakes, 3);
}

TEST(CommandBus, RefusesBeforeQueueing) {
  TRecordingBus r;
  const TCommandResult unknown = r.Bus.Post({"dance", {}});
  EXPECT_FALSE(unknown.Done);
  EXPECT_EQ(unknown.Error, R"(there is no command "dance")");
  const TCommandResult bad = r.Bus.Post({"seek", {{"frame", 0}}});
  EXPECT_EQ(bad.Argument, "frame");
  EXPECT_EQ(r.Wakes, 0) << "nothing was queued";
  const TCommandResult thrown = r.Bus.Run({"fail", {}});
  EXPECT_FALSE(thrown.Done);
  EXPECT_EQ(thrown.Error, "the lamps are on fire");
}

TEST(CommandBus, AFullQueueAnswersAtOnce) {
  TRecordingBus r;
  std::vector<std::jthread> posters;
  for (int i = 0; i < 4; ++i) posters.emplace_back([&, i] { r.Bus.Post({"seek", {{"frame", i + 1}}}); });
  while (r.Wakes < 4) std::this_thread::yield();
  const TCommandResult full = r.Bus.Post({"seek", {{"frame", 9}}});
  EXPECT_EQ(full.Error, "too many commands are waiting; try again");
  r.RunUntil(4);
  EXPECT_EQ(r.Ran.size(), 4u);
}

TEST(CommandBus, ACommandNotTakenInTimeIsWithdrawn) {
  TRecordingBus r;
  const TCommandResult late = r.Bus.Post({"seek", {{"frame", 1}}}, std::chrono::milliseconds(1));
  EXPECT_EQ(late.Error, "the show did not take the command in time");
  r.Bus.RunPending();
  EXPECT_TRUE(r.Ran.empty()) << "a withdrawn command never runs";
}

TEST(CommandBus, ClosingRefusesWhatWaits) {
  TRecordingBus r;
  TCommandResult result;
  std::jthread poster([&] { result = r.Bus.Post({"seek", {{"frame", 1}}}); });
  while (r.Wakes < 1) std::this_thread::yield();
  r.Bus.Close();
  poster.join();
  EXPECT_EQ(result.Error, "the show is shutting down");
  EXPECT_EQ(r.Bus.Post({"seek", {{"frame", 1}}}).Error, "the show is shutting down");
}

}  // namespace
}  // namespace lumora::control
