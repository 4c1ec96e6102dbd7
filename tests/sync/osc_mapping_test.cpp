// OSC messages to commands: every form of address and argument against the
// bus's table, hostile datagrams and bundles refused with a reason.
#include <gtest/gtest.h>

#include "osc_fixtures.h"
#include "sync/osc_mapping.h"

namespace lumora::sync {
namespace {

using nlohmann::json;

TOscInput map(const std::string& address, std::vector<TOscArgument> arguments) {
  const TCommandList commands = lumora::test::BusCommands();
  std::string error;
  const auto messages = ParseOscPacket(EncodeOscMessage(address, arguments), error);
  EXPECT_EQ(messages.size(), 1u) << error;
  return messages.empty() ? TOscInput{TOscError{error}} : MapOscMessage(messages[0], commands);
}

TEST(OscMapping, Commands) {
  const struct {
    std::string Address;
    std::vector<TOscArgument> Arguments;
    std::string Name;
    json Args;
  } cases[] = {
      {"/lumora/play", {std::string("show.lst")}, "play", {{"file", "show.lst"}}},
      {"/lumora/play", {std::string("节目.lst")}, "play", {{"file", "节目.lst"}}},
      {"/lumora/play", {std::string("show.lst"), std::int64_t{2}, std::int64_t{0}}, "play",
       {{"file", "show.lst"}, {"entry", 2}, {"loops", 0}}},
      {"/lumora/play/entry", {3.0}, "play", {{"entry", 3}}},
      {"/lumora/next", {}, "next", json::object()},
      {"/lumora/next", {1.0}, "next", json::object()},
      {"/lumora/next", {true}, "next", json::object()},
      {"/lumora/brightness", {0.5}, "brightness", {{"percent", 50.0}}},
      {"/lumora/brightness", {std::int64_t{50}}, "brightness", {{"percent", 50.0}}},
      {"/lumora/brightness", {1.0}, "brightness", {{"percent", 100.0}}},
      {"/lumora/volume/percent", {0.25}, "volume", {{"percent", 25.0}}},
      {"/lumora/seek", {std::int64_t{120}}, "seek", {{"frame", 120}}},
      {"/lumora/seek/seconds", {12.5}, "seek", {{"seconds", 12.5}}},
      {"/lumora/blackout", {std::int64_t{1}}, "blackout", {{"on", true}}},
      {"/lumora/blackout", {false}, "blackout", {{"on", false}}},
      {"/lumora/mute", {0.0}, "mute", {{"on", false}}},
      {"/lumora/stop", {std::string("entry")}, "stop", {{"when", "entry"}}},
      {"/lumora/speed", {std::int64_t{50}}, "speed", {{"interval", 50}}},
      {"/lumora/brightness", {0.555}, "brightness", {{"percent", 56.0}}},
      {"/lumora/test", {std::string("chase"), 0.1}, "test", {{"pattern", "chase"}, {"level", 10.0}}},
      {"/lumora/reload-patch", {}, "reload-patch", json::object()},
  };
  for (const auto& c : cases) {
    const TOscInput input = map(c.Address, c.Arguments);
    const auto* command = std::get_if<TOscCommand>(&input);
    ASSERT_TRUE(command) << c.Address << ": " << (std::holds_alternative<TOscError>(input) ? std::get<TOscError>(input).Message : "");
    EXPECT_EQ(command->Name, c.Name) << c.Address;
    EXPECT_EQ(command->Args, c.Args) << c.Address;
  }
}

TEST(OscMapping, Refusals) {
  const struct {
    std::string Address;
    std::vector<TOscArgument> Arguments;
    std::string Error;
  } cases[] = {
      {"/other/play", {}, "/other/play is not under /lumora/"},
      {"/lumora", {}, "not under /lumora/"},
      {"/lumoraplay", {}, "not under /lumora/"},
      {"/lumora/", {}, "not under /lumora/"},
      {"/lumora/dance", {}, "no command \"dance\""},
      {"/lumora/play", {std::int64_t{3}}, "play file: 3 is not text"},
      {"/lumora/play", {std::string("show\xFF.lst")}, "play file: the text is not UTF-8"},
      {"/lumora/play", {std::string("\xC0\xAF.lst")}, "play file: the text is not UTF-8"},
      {"/lumora/play", {std::string("\xED\xA0\x80")}, "play file: the text is not UTF-8"},
      {"/lumora/play", {std::string("\xE8\x8A")}, "play file: the text is not UTF-8"},
      {"/lumora/play", {std::string("a"), 1.5}, "play entry: 1.5 is not a whole number"},
      {"/lumora/play", {std::string("a"), std::int64_t{0}}, "play entry: 0 is outside 1–1048576"},
      {"/lumora/play", {std::string("a"), std::int64_t{1}, std::int64_t{1}, true, true, true}, "play takes 5 arguments, not 6"},
      {"/lumora/brightness", {1.5}, "brightness percent: 1.5 is outside 0–1"},
      {"/lumora/brightness", {std::int64_t{101}}, "brightness percent: 101 is outside 0–100"},
      {"/lumora/brightness", {std::string("half")}, "brightness percent: \"half\" is not a number"},
      {"/lumora/brightness", {TOscNothing{}}, "brightness percent: nil is not a number"},
      {"/lumora/blackout", {std::string("on")}, "blackout on: \"on\" is not true or false"},
      {"/lumora/seek/minutes", {1.0}, "seek has no argument \"minutes\""},
      {"/lumora/seek/", {1.0}, "names no argument of seek"},
      {"/lumora/seek/frame/x", {1.0}, "names no argument of seek"},
      {"/lumora/volume/percent", {0.5, 0.5}, "volume takes 1 arguments, not 2"},
      {"/lumora/next", {std::int64_t{1}, std::int64_t{1}}, "next takes 0 arguments, not 2"},
      {"/lumora/speed", {std::int64_t{5}}, "speed interval: 5 is outside 10–100"},
      {"/lumora/speed", {0.5}, "speed interval: 0.5 is outside 10–100"},
      {"/lumora/timecode/seconds", {}, "takes one number of 0 or more"},
      {"/lumora/timecode/seconds", {-1.0}, "takes one number of 0 or more"},
      {"/lumora/timecode/minutes", {1.0}, "no timecode address /lumora/timecode/minutes"},
  };
  for (const auto& c : cases) {
    const TOscInput input = map(c.Address, c.Arguments);
    const auto* error = std::get_if<TOscError>(&input);
    ASSERT_TRUE(error) << c.Address << " " << c.Error;
    EXPECT_NE(error->Message.find(c.Error), std::string::npos) << c.Address << ": " << error->Message;
  }
}

TEST(OscMapping, ReleasesAndTimecode) {
  EXPECT_TRUE(std::holds_alternative<TOscRelease>(map("/lumora/next", {0.0})));
  EXPECT_TRUE(std::holds_alternative<TOscRelease>(map("/lumora/pause", {false})));
  EXPECT_TRUE(std::holds_alternative<TOscRelease>(map("/lumora/resume", {std::int64_t{0}})));
  const TOscInput seconds = map("/lumora/timecode/seconds", {12.25});
  ASSERT_TRUE(std::holds_alternative<TOscTimecode>(seconds));
  EXPECT_EQ(std::get<TOscTimecode>(seconds).Seconds, 12.25);
  const TOscInput frame = map("/lumora/timecode/frame", {std::int64_t{480}});
  ASSERT_TRUE(std::holds_alternative<TOscTimecode>(frame));
  EXPECT_EQ(std::get<TOscTimecode>(frame).Frame, 480);
  EXPECT_FALSE(std::get<TOscTimecode>(frame).Seconds);
}

// A schedule's entries reach the bus from an OSC string of JSON text.
TEST(OscMapping, StructuredArgumentsAsJsonText) {
  const TCommandList commands({{"schedule-set", {{"entries", TArgumentKind::Json, 0, 0}}}});
  const auto mapped = [&commands](const std::string& text) {
    std::string error;
    const auto messages = ParseOscPacket(EncodeOscMessage("/lumora/schedule-set", {text}), error);
    return MapOscMessage(messages.at(0), commands);
  };
  const TOscInput entries = mapped(R"([{"play": "a.lst", "start": "dusk"}])");
  ASSERT_TRUE(std::holds_alternative<TOscCommand>(entries));
  EXPECT_EQ(std::get<TOscCommand>(entries).Args, json::parse(R"({"entries": [{"play": "a.lst", "start": "dusk"}]})"));
  const struct {
    std::string Text;
    std::string Error;
  } refusals[] = {
      {"[{", "schedule-set entries: the text is not JSON"},
      {std::string(100, '[') + std::string(100, ']'), "schedule-set entries: the text nests deeper than 64 levels"},
  };
  for (const auto& r : refusals) {
    const TOscInput input = mapped(r.Text);
    ASSERT_TRUE(std::holds_alternative<TOscError>(input)) << r.Text;
    EXPECT_NE(std::get<TOscError>(input).Message.find(r.Error), std::string::npos) << std::get<TOscError>(input).Message;
  }
}

TEST(OscMapping, Packets) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes next = EncodeOscMessage("/lumora/next", {});
  const Bytes play = EncodeOscMessage("/lumora/play", {std::string("show.lst")});
  const auto element = [](const Bytes& content) {
    Bytes out = {0, 0, static_cast<std::uint8_t>(content.size() >> 8), static_cast<std::uint8_t>(content.size())};
    out.insert(out.end(), content.begin(), content.end());
    return out;
  };
  const auto bundle = [&](std::initializer_list<Bytes> contents) {
    Bytes out = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (const Bytes& c : contents) {
      const Bytes e = element(c);
      out.insert(out.end(), e.begin(), e.end());
    }
    return out;
  };
  std::string error;
  const auto two = ParseOscPacket(bundle({next, bundle({play})}), error);
  ASSERT_EQ(two.size(), 2u) << error;
  EXPECT_EQ(two[0].Address, "/lumora/next");
  EXPECT_EQ(two[1].Types, "s");
  Bytes deep = play;
  for (int i = 0; i <= kMaxBundleDepth; ++i) deep = bundle({deep});
  Bytes cut = bundle({next});
  cut[19] = 200;
  // A MIDI argument ('m', four bytes) parses but is not taken.
  Bytes midi = EncodeOscMessage("/lumora/play", {std::string("x")});
  midi[midi.size() - 7] = 'm';
  const Bytes headOnly(cut.begin(), cut.begin() + 12);
  Bytes crowd = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (std::size_t i = 0; i <= kMaxOscMessages; ++i) {
    const Bytes e = element(next);
    crowd.insert(crowd.end(), e.begin(), e.end());
  }
  const struct {
    Bytes Datagram;
    std::size_t Kept;
    std::string Error;
  } faults[] = {
      {{}, 0, "not an OSC message"},
      {{'/', 'a', 0}, 0, "not an OSC message"},
      {Bytes(next.begin(), next.end() - 1), 0, "not an OSC message"},
      {deep, 0, "nested too deep"},
      {cut, 0, "runs past the bundle's end"},
      {headOnly, 0, "an OSC bundle is cut short"},
      {midi, 0, "argument of type 'm', which is not taken"},
      {crowd, kMaxOscMessages, "more than 64 messages"},
  };
  for (const auto& f : faults) {
    std::string why;
    EXPECT_EQ(ParseOscPacket(f.Datagram, why).size(), f.Kept) << f.Error;
    EXPECT_NE(why.find(f.Error), std::string::npos) << f.Error << ": " << why;
  }
}

}  // namespace
}  // namespace lumora::sync
