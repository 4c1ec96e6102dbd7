// The sync options as the command line and the configuration file give
// them: what each reads as, what is refused and how it is named, the hour
// table and who may send OSC.
#include <gtest/gtest.h>

#include <cmath>

#include "sync/sync_config.h"
#include "sync/sync_options.h"

namespace lumora::sync {
namespace {

using output::TEndpoint;

TSyncOptions with(const std::function<void(TSyncOptions&)>& set) {
  TSyncOptions options;
  set(options);
  return options;
}

TEST(SyncOptions, Reads) {
  EXPECT_FALSE(ParseSyncOptions({}, false).Active());

  const TSyncSetup lead = ParseSyncOptions(with([](TSyncOptions& o) {
    o.Lead = "10.0.0.5,10.0.0.6:4000";
    o.Multicast = true;
  }), false);
  ASSERT_TRUE(lead.Lead);
  EXPECT_EQ(lead.Lead->Followers, (std::vector<TEndpoint>{{0x0A000005, 32320}, {0x0A000006, 4000}}));
  EXPECT_TRUE(lead.Lead->Multicast);
  EXPECT_FALSE(lead.Lead->Broadcast);
  EXPECT_TRUE(ParseSyncOptions(with([](TSyncOptions& o) { o.Broadcast = true; }), false).Lead) << "broadcast alone leads";

  const struct {
    std::string Follow;
    TEndpoint Listen;
  } follows[] = {{"", {0, 32320}}, {"127.0.0.1", {0x7F000001, 32320}}, {":4000", {0, 4000}}, {"10.0.0.2:0", {0x0A000002, 0}}};
  for (const auto& f : follows) {
    const TSyncSetup setup = ParseSyncOptions(with([&](TSyncOptions& o) {
      o.Follow = f.Follow;
      o.OffsetMs = -25;
    }), false);
    EXPECT_EQ(setup.Follow, f.Listen) << f.Follow;
    EXPECT_EQ(setup.OffsetMs, -25);
  }

  const TSyncSetup out = ParseSyncOptions(with([](TSyncOptions& o) {
    o.TimecodeOut = {"artnet:10.0.0.9", "artnet:127.0.0.1:7000,30", "mtc:20:0,29.97", "ltc:show.wav,24", "ltc:audio",
                     "ltc:audio:hw:1,0"};
  }), false);
  ASSERT_EQ(out.TimecodeOut.size(), 6u);
  EXPECT_EQ(out.TimecodeOut[0].To, (TEndpoint{0x0A000009, 6454}));
  EXPECT_EQ(out.TimecodeOut[0].Rate, TTimecodeRate::Ebu25);
  EXPECT_EQ(out.TimecodeOut[1].To, (TEndpoint{0x7F000001, 7000}));
  EXPECT_EQ(out.TimecodeOut[1].Rate, TTimecodeRate::Smpte30);
  EXPECT_EQ(out.TimecodeOut[2].Kind, TTimecodeOutKind::Mtc);
  EXPECT_EQ(out.TimecodeOut[2].Name, "20:0");
  EXPECT_EQ(out.TimecodeOut[2].Rate, TTimecodeRate::DropFrame2997);
  EXPECT_EQ(out.TimecodeOut[3].Kind, TTimecodeOutKind::LtcFile);
  EXPECT_EQ(out.TimecodeOut[3].Name, "show.wav");
  EXPECT_EQ(out.TimecodeOut[3].Rate, TTimecodeRate::Film24);
  EXPECT_EQ(out.TimecodeOut[4].Name, "default");
  EXPECT_EQ(out.TimecodeOut[5].Name, "hw:1,0") << "a device's own comma is no rate";

  const TSyncSetup in = ParseSyncOptions(with([](TSyncOptions& o) {
    o.TimecodeIn = "artnet:127.0.0.1:0";
    o.TimecodeHour = "1";
  }), false);
  EXPECT_EQ(in.TimecodeIn->Kind, TTimecodeInKind::ArtNet);
  EXPECT_EQ(in.TimecodeIn->Listen, (TEndpoint{0x7F000001, 0}));
  EXPECT_EQ(ParseSyncOptions(with([](TSyncOptions& o) { o.TimecodeIn = "artnet"; }), false).TimecodeIn->Listen,
            (TEndpoint{0, 6454}));

  const TSyncSetup osc = ParseSyncOptions(with([](TSyncOptions& o) {
    o.Osc = "9000";
    o.OscAllow = "192.168.1.0/24,10.0.0.7";
    o.OscFeedback = "127.0.0.1:9001";
    o.TimecodeIn = "osc";
  }), false);
  EXPECT_EQ(osc.Osc, (TEndpoint{0x7F000001, 9000}));
  EXPECT_EQ(osc.OscFeedback, (TEndpoint{0x7F000001, 9001}));
  EXPECT_EQ(osc.OscAllow.size(), 2u);
  EXPECT_EQ(ParseSyncOptions(with([](TSyncOptions& o) { o.Osc = "0.0.0.0:0"; }), false).Osc, (TEndpoint{0, 0}));
}

TEST(SyncOptions, Refused) {
  const struct {
    std::function<void(TSyncOptions&)> Set;
    std::string Error;
  } faults[] = {
      {[](TSyncOptions& o) { o.Lead = "10.0.0.5,"; }, "--sync-lead \"10.0.0.5,\": the follower \"\" has no host"},
      {[](TSyncOptions& o) { o.Lead = "stage-left"; }, "--sync-lead \"stage-left\": the follower \"stage-left\" is not a numeric IPv4 address"},
      {[](TSyncOptions& o) { o.Lead = "10.0.0.5"; o.Follow = ""; }, "--sync-lead and --sync-follow cannot be given together"},
      {[](TSyncOptions& o) { o.Follow = ""; o.TimecodeIn = "mtc"; }, "--sync-follow and --timecode-in cannot be given together: a player follows one leader"},
      {[](TSyncOptions& o) { o.Follow = "10.0.0.300"; }, "--sync-follow \"10.0.0.300\": the address \"10.0.0.300\" is not a numeric IPv4 address"},
      {[](TSyncOptions& o) { o.Follow = ":70000"; }, "--sync-follow \":70000\": the port is not from 0 to 65535"},
      {[](TSyncOptions& o) { o.OffsetMs = 40; }, "--sync-offset needs --sync-follow or --timecode-in"},
      {[](TSyncOptions& o) { o.Follow = ""; o.OffsetMs = 10001; }, "--sync-offset must be from -10000 to 10000 ms"},
      {[](TSyncOptions& o) { o.TimecodeOut = {"dmx:1"}; }, "--timecode-out \"dmx:1\": is not artnet:HOST, mtc, ltc:FILE.wav or ltc:audio, each with an optional ,fps"},
      {[](TSyncOptions& o) { o.TimecodeOut = {"artnet:"}; }, "--timecode-out \"artnet:\": the Art-Net receiver \"\" has no host"},
      {[](TSyncOptions& o) { o.TimecodeIn = "smpte"; }, "--timecode-in \"smpte\": is not artnet[:ADDRESS], mtc[:CLIENT:PORT], ltc:FILE.wav, ltc:audio[:DEVICE] or osc"},
      {[](TSyncOptions& o) { o.TimecodeIn = "osc"; }, "--timecode-in osc needs --osc"},
      {[](TSyncOptions& o) { o.TimecodeHour = "1"; }, "--timecode-hour needs --timecode-out or --timecode-in"},
      {[](TSyncOptions& o) { o.TimecodeOut = {"mtc"}; o.TimecodeHour = "24"; }, "--timecode-hour \"24\": an hour is a whole number from 0 to 23"},
      {[](TSyncOptions& o) { o.TimecodeOut = {"mtc"}; o.TimecodeHour = "show.ctl=x"; }, "--timecode-hour \"show.ctl=x\": an hour is a whole number from 0 to 23"},
      {[](TSyncOptions& o) { o.TimecodeOut = {"mtc"}; o.TimecodeHour = "=3"; }, "--timecode-hour \"=3\": a show's hour needs its file name or entry number before ="},
      {[](TSyncOptions& o) { o.TimecodeOut = {"mtc"}; o.TimecodeHour = "0=3"; }, "--timecode-hour \"0=3\": list entries count from 1"},
      {[](TSyncOptions& o) { o.OscAllow = "10.0.0.1"; }, "--osc-allow needs --osc"},
      {[](TSyncOptions& o) { o.Osc = "9000"; o.OscAllow = "10.0.0.0/33"; }, "--osc-allow \"10.0.0.0/33\": the prefix after / is not from 0 to 32"},
      {[](TSyncOptions& o) { o.Osc = "9000"; o.OscAllow = "everyone"; }, "--osc-allow \"everyone\": the address \"everyone\" is not a numeric IPv4 address"},
      {[](TSyncOptions& o) { o.OscFeedback = "127.0.0.1"; }, "--osc-feedback \"127.0.0.1\": needs HOST:PORT"},
      {[](TSyncOptions& o) { o.ClockRate = 3; }, "--clock-rate must be from 0.5 to 2"},
      {[](TSyncOptions& o) { o.ClockRate = std::nan(""); }, "--clock-rate must be from 0.5 to 2"},
  };
  for (const auto& f : faults) {
    try {
      ParseSyncOptions(with(f.Set), false);
      ADD_FAILURE() << "taken: " << f.Error;
    } catch (const ESyncOptions& e) {
      EXPECT_EQ(std::string(e.what()), f.Error);
    }
  }
}

TEST(SyncOptions, HoursByEntryNameAndForAll) {
  const THourTable table = ParseSyncOptions(with([](TSyncOptions& o) {
    o.TimecodeOut = {"mtc"};
    o.TimecodeHour = "5,intro.ctl=1,2=3";
  }), false).Hours;
  const struct {
    const char* Show;
    std::optional<std::size_t> Entry;
    std::optional<int> Hour;
  } cases[] = {
      {"intro.ctl", std::nullopt, 1}, {"intro.ctl", 0, 1}, {"intro.ctl", 1, 3}, {"finale.ctl", 1, 3},
      {"finale.ctl", 2, 5}, {"finale.ctl", std::nullopt, 5},
  };
  for (const auto& c : cases) EXPECT_EQ(table.For(c.Show, c.Entry), c.Hour) << c.Show;
  EXPECT_EQ(THourTable{}.For("any.ctl", 0), std::nullopt);
}

TEST(SyncOptions, WhoMaySendOsc) {
  TSyncSetup setup = ParseSyncOptions(with([](TSyncOptions& o) {
    o.Osc = "0.0.0.0:9000";
    o.OscAllow = "192.168.1.0/24,10.0.0.7,172.16.0.0/0";
  }), false);
  const struct {
    std::uint32_t Address;
    bool Allowed;
  } alone[] = {{0x7F000001, true}, {0x7F0000FE, true}, {0xC0A80163, false}, {0x0A000007, false}};
  const TSyncSetup loopbackOnly = ParseSyncOptions(with([](TSyncOptions& o) { o.Osc = "0.0.0.0:9000"; }), false);
  for (const auto& c : alone) EXPECT_EQ(OscAllowed(loopbackOnly, c.Address), c.Allowed) << std::hex << c.Address;
  setup.OscAllow.pop_back();
  const struct {
    std::uint32_t Address;
    bool Allowed;
  } listed[] = {{0xC0A80163, true}, {0xC0A80263, false}, {0x0A000007, true}, {0x0A000008, false}};
  for (const auto& c : listed) EXPECT_EQ(OscAllowed(setup, c.Address), c.Allowed) << std::hex << c.Address;
  EXPECT_TRUE((TAddressRange{0xAC100000, 0}.Contains(0x01020304))) << "/0 is everyone";
}

TEST(SyncConfig, ReadsAsTheOptionsDo) {
  const auto sync = nlohmann::json::parse(R"({"lead": ["10.0.0.5", "10.0.0.6:4000"], "multicast": true,
      "timecode-out": "artnet:10.0.0.9,30", "timecode-hour": {"intro.ctl": 1, "2": 3}, "osc": 9000,
      "osc-allow": ["192.168.1.0/24"], "osc-feedback": "10.0.0.9:9001"})");
  const TSyncOptions options = SyncOptionsFromJson(sync, "show.json");
  EXPECT_EQ(options.Lead, "10.0.0.5,10.0.0.6:4000");
  EXPECT_TRUE(options.Multicast);
  EXPECT_EQ(options.TimecodeOut, (std::vector<std::string>{"artnet:10.0.0.9,30"}));
  EXPECT_EQ(options.TimecodeHour, "2=3,intro.ctl=1");
  EXPECT_EQ(options.Osc, "9000");
  EXPECT_EQ(options.OscAllow, "192.168.1.0/24");
  const TSyncSetup setup = ReadSyncSettings(sync, "show.json");
  EXPECT_EQ(setup.Hours.For("intro.ctl", std::nullopt), 1);
  EXPECT_EQ(setup.Hours.For("x.ctl", 1), 3);

  const TSyncOptions follower =
      SyncOptionsFromJson(nlohmann::json::parse(R"({"follow": true, "offset-ms": 40, "timecode-out": ["mtc"]})"), "f");
  EXPECT_EQ(follower.Follow, "");
  EXPECT_EQ(follower.OffsetMs, 40);
  EXPECT_FALSE(SyncOptionsFromJson(nlohmann::json::parse(R"({"follow": false})"), "f").Follow);
  EXPECT_FALSE(ReadSyncSettings(nullptr, "f").Active());
}

TEST(SyncConfig, Refused) {
  const struct {
    const char* Json;
    std::string Error;
  } faults[] = {
      {"[]", "show.json: \"sync\" must be an object"},
      {R"({"leader": "10.0.0.5"})", "show.json: \"sync\" has no setting \"leader\""},
      {R"({"lead": 5})", "show.json: \"sync\".lead must be text"},
      {R"({"lead": ["10.0.0.5", 6]})", "show.json: \"sync\".lead must be text"},
      {R"({"multicast": "yes"})", "show.json: \"sync\".multicast must be true or false"},
      {R"({"offset-ms": "40"})", "show.json: \"sync\".offset-ms must be a number"},
      {R"({"timecode-hour": {"intro.ctl": 1.5}})", "show.json: \"sync\".timecode-hour must be an object of whole hours"},
      {R"({"follow": "", "lead": "10.0.0.5"})", "show.json: \"sync\": --sync-lead and --sync-follow cannot be given together"},
  };
  for (const auto& f : faults) {
    try {
      ReadSyncSettings(nlohmann::json::parse(f.Json), "show.json");
      ADD_FAILURE() << "taken: " << f.Json;
    } catch (const ESyncOptions& e) {
      EXPECT_EQ(std::string(e.what()), f.Error) << f.Json;
    }
  }
}

}  // namespace
}  // namespace lumora::sync
