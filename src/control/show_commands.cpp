#include "control/show_commands.h"

namespace lumora::control {

namespace {

TCommandSpec oneOf(TCommandSpec spec, std::vector<std::string> names, bool required) {
  spec.OneOf = std::move(names);
  spec.OneRequired = required;
  return spec;
}

std::vector<TCommandSpec> makeSpecs() {
  return {
      CommandSpec("play", "Plays a movie or play list of the show folder.",
                  {StringArgument("file", "the show's path inside the show folder", true, 4096),
                   IntegerArgument("entry", "the play list's entry that plays first, from 1", 1, 1 << 20),
                   IntegerArgument("loops", "passes before the show ends; 0 or none: for ever", 0, 1 << 20),
                   BooleanArgument("shuffle", "each pass of a play list in a new random order"),
                   BooleanArgument("protect", "the schedule leaves the show alone until it ends")}),
      CommandSpec("stop", "Stops the show: now, when the entry playing ends, or when the pass ends.",
                  {ChoiceArgument("when", "when to stop; now when not given", {"now", "entry", "pass"})}),
      CommandSpec("pause", "Holds the show on its frame; the lamps keep it."),
      CommandSpec("resume", "Plays on from the frame held."),
      CommandSpec("next", "The play list's next entry."),
      CommandSpec("previous", "The play list's entry before the one playing."),
      CommandSpec("entry", "Goes to an entry of the play list.",
                  {IntegerArgument("index", "the entry, from 1", 1, 1 << 20, true)}),
      oneOf(CommandSpec("seek", "Moves within the entry playing.",
                        {IntegerArgument("frame", "the frame, from 1", 1, 1 << 30),
                         NumberArgument("seconds", "the time from the entry's start", 0, 1e7)}),
            {"frame", "seconds"}, true),
      CommandSpec("speed", "Sets how long a frame lasts, as the speed bar does.",
                  {IntegerArgument("interval", "milliseconds a frame, 10 to 100 in steps of 10", 10, 100, true)}),
      CommandSpec("volume", "Sets the music's loudness.",
                  {IntegerArgument("percent", "0 to 100", 0, 100, true)}),
      CommandSpec("mute", "Silences the music, or lets it sound again.",
                  {BooleanArgument("on", "true: silent; none: the other way round")}),
      CommandSpec("brightness", "Sets the master level of every light output.",
                  {IntegerArgument("percent", "0 to 100", 0, 100, true)}),
      CommandSpec("blackout", "Every channel of every output 0 while on.",
                  {BooleanArgument("on", "true: dark; none: the other way round")}),
      CommandSpec("output", "Turns the light outputs on, or off (dark once, then silent).",
                  {BooleanArgument("on", "true: sending; none: the other way round")}),
      CommandSpec("test", "Shows a test pattern on the lamps in place of the show, or ends it.",
                  {ChoiceArgument("pattern", "off, every channel at a level, a chase channel by channel, or one fixture",
                                  {"off", "level", "chase", "fixture"}, true),
                   IntegerArgument("level", "percent, 100 when not given", 0, 100),
                   IntegerArgument("output", "the output, from 1; none: every output", 1, 1 << 20),
                   IntegerArgument("fixture", "the fixture, from 1 (pattern fixture)", 1, 1 << 20),
                   IntegerArgument("step", "milliseconds a channel of the chase", 20, 10000)}),
      CommandSpec("reload-patch", "Reads the channel patch again; the status tells when it is in use."),
  };
}

}  // namespace

const std::vector<TCommandSpec>& ShowCommandSpecs() {
  static const std::vector<TCommandSpec> specs = makeSpecs();
  return specs;
}

const TCommandSpec& ShowCommandSpec(std::string_view name) { return FindCommandSpec(ShowCommandSpecs(), name); }

}  // namespace lumora::control
