#include "tools/sync_command_line.h"

#include "sync/sync_config.h"
#include "tools/command_line.h"

namespace lumora {

const char* const kSyncHelp =
    "Several players, one show: the leader lists its followers (--sync-lead 10.0.0.5,10.0.0.6);\n"
    "each follower (--sync-follow) plays the show of its show folder whose name matches the\n"
    "leader's. A desk leads by timecode (--timecode-in artnet, mtc, ltc:FILE.wav, osc);\n"
    "OSC reaches every command as /lumora/<command> (--osc 9000), from this machine only\n"
    "unless --osc-allow names others.\n";

void AddSyncOptions(CLI::App& app, sync::TSyncOptions& options) {
  app.add_option("--sync-lead", options.Lead,
                 "lead the followers HOST[:PORT][,HOST...] by MultiSync (port 32320 when not given)");
  app.add_flag("--sync-multicast", options.Multicast, "lead by MultiSync's multicast group 239.70.80.80 as well");
  app.add_flag("--sync-broadcast", options.Broadcast, "lead by the local network's broadcast address as well");
  app.add_option("--sync-follow", options.Follow,
                 "follow a MultiSync leader, listening at [ADDRESS][:PORT] (every address, port 32320)")
      ->expected(0, 1)
      ->default_str("");
  app.add_option("--sync-offset", options.OffsetMs,
                 "milliseconds a follower plays ahead of its leader, for its lamps' latency");
  app.add_option("--timecode-out", options.TimecodeOut,
                 "send the show's timecode: artnet:HOST[:PORT], mtc[:CLIENT:PORT], ltc:FILE.wav or "
                 "ltc:audio[:DEVICE], each with an optional ,24 ,25 ,29.97 or ,30 (25 when not given)");
  app.add_option("--timecode-hour", options.TimecodeHour,
                 "the hour the timecode of every show starts at (H), or of some shows or list entries "
                 "(NAME=H,ENTRY=H,...)");
  app.add_option("--timecode-in", options.TimecodeIn,
                 "follow a timecode: artnet[:ADDRESS[:PORT]], mtc[:CLIENT:PORT], ltc:FILE.wav, "
                 "ltc:audio[:DEVICE] or osc");
  app.add_option("--osc", options.Osc, "take OSC commands at [ADDRESS:]PORT (address 127.0.0.1 when not given)");
  app.add_option("--osc-allow", options.OscAllow,
                 "other machines that may send OSC: ADDRESS[/BITS][,...] (this machine always may)");
  app.add_option("--osc-feedback", options.OscFeedback, "send the frame, entry and state by OSC to HOST:PORT");
  app.add_option("--clock-rate", options.ClockRate, "for tests only: run the player's clock this much fast or slow")
      ->group("Testing");
}

sync::TSyncSetup SyncSetupOf(const sync::TSyncOptions& options) {
  try {
    return sync::ParseSyncOptions(options);
  } catch (const sync::ESyncOptions& fault) {
    throw EUsage(fault.what());
  }
}

void FillSyncOptions(const CLI::App& app, sync::TSyncOptions& options, const nlohmann::json& sync,
                     const std::string& where) {
  const sync::TSyncOptions configured = sync::SyncOptionsFromJson(sync, where);
  const auto fill = [&app](const char* name, auto& value, const auto& setting) {
    if (app.get_option(name)->count() == 0) value = setting;
  };
  fill("--sync-lead", options.Lead, configured.Lead);
  fill("--sync-multicast", options.Multicast, configured.Multicast);
  fill("--sync-broadcast", options.Broadcast, configured.Broadcast);
  fill("--sync-follow", options.Follow, configured.Follow);
  fill("--sync-offset", options.OffsetMs, configured.OffsetMs);
  fill("--timecode-out", options.TimecodeOut, configured.TimecodeOut);
  fill("--timecode-hour", options.TimecodeHour, configured.TimecodeHour);
  fill("--timecode-in", options.TimecodeIn, configured.TimecodeIn);
  fill("--osc", options.Osc, configured.Osc);
  fill("--osc-allow", options.OscAllow, configured.OscAllow);
  fill("--osc-feedback", options.OscFeedback, configured.OscFeedback);
}

void CheckSyncUsage(const sync::TSyncSetup& setup, bool hasFile, bool commanded, bool hasShowFolder) {
  if (!hasFile && !commanded && !setup.Follow && !setup.Osc) {
    throw EUsage("FILE is required without --control, --schedule, --config, --sync-follow or --osc");
  }
  if (setup.Follow && !hasFile && !hasShowFolder) throw EUsage("--sync-follow needs --shows DIR, or a FILE in that folder");
  if (setup.TimecodeIn && !hasFile) throw EUsage("--timecode-in needs the FILE whose time it follows");
}

}  // namespace lumora
