#include "sync/sync_options.h"

#include <charconv>
#include <cmath>

#include "sync/artnet_timecode.h"
#include "sync/endpoint_text.h"
#include "sync/multisync_packet.h"

namespace lumora::sync {

namespace {

[[noreturn]] void fail(const std::string& option, const std::string& text, const std::string& why) {
  throw ESyncOptions(option + " \"" + text + "\": " + why);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::optional<std::int64_t> wholeNumber(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (fault != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "SOURCE[,fps]": the rate after the last comma, when that is a rate.
std::pair<std::string, TTimecodeRate> withRate(const std::string& text) {
  const std::size_t comma = text.rfind(',');
  if (comma != std::string::npos) {
    if (const auto rate = ParseTimecodeRate(std::string_view(text).substr(comma + 1))) {
      return {text.substr(0, comma), *rate};
    }
  }
  return {text, TTimecodeRate::Ebu25};
}

std::uint32_t ipv4(const std::string& option, const std::string& text, const std::string& address) {
  std::string error;
  const auto parsed = HostAddress(address, false, "the address", error);
  if (!parsed) fail(option, text, error);
  return *parsed;
}

output::TEndpoint endpoint(const std::string& option, const std::string& text, const std::string& part,
                           std::uint16_t defaultPort, bool resolve, const std::string& what) {
  std::string error;
  const auto parsed = ParseEndpoint(part, defaultPort, resolve, what, error);
  if (!parsed) fail(option, text, error);
  return *parsed;
}

// "[ADDRESS][:PORT]" and "[ADDRESS:]PORT": what a receiver binds.
output::TEndpoint listenAddress(const std::string& option, const std::string& text, const std::string& part,
                                std::uint32_t defaultAddress, std::uint16_t defaultPort, bool portFirst) {
  const std::size_t colon = part.find(':');
  std::string address = part.substr(0, colon);
  std::string port = colon == std::string::npos ? "" : part.substr(colon + 1);
  if (colon == std::string::npos && portFirst) std::swap(address, port);
  output::TEndpoint out{defaultAddress, defaultPort};
  if (!address.empty()) out.Address = ipv4(option, text, address);
  if (!port.empty() || colon != std::string::npos) {
    const auto parsed = ParsePort(port, true);
    if (!parsed) fail(option, text, "the port is not from 0 to 65535");
    out.Port = *parsed;
  }
  return out;
}

// What timecode out and in share: MIDI through the sequencer, LTC through
// an audio device or a WAV file.
enum class TDevice : std::uint8_t { None, Mtc, LtcAudio, LtcFile };

std::pair<TDevice, std::string> deviceOf(const std::string& source) {
  if (source == "mtc" || source.starts_with("mtc:")) return {TDevice::Mtc, source.size() > 3 ? source.substr(4) : ""};
  if (source == "ltc:audio" || source.starts_with("ltc:audio:")) {
    return {TDevice::LtcAudio, source.size() > 9 ? source.substr(10) : "default"};
  }
  if (source.starts_with("ltc:") && source.size() > 4) return {TDevice::LtcFile, source.substr(4)};
  return {TDevice::None, ""};
}

TTimecodeOutTarget timecodeOut(const std::string& text, bool resolve) {
  const std::string option = "--timecode-out";
  const auto [source, rate] = withRate(text);
  TTimecodeOutTarget target;
  target.Rate = rate;
  if (source.starts_with("artnet:")) {
    target.To = endpoint(option, text, source.substr(7), kArtNetPort, resolve, "the Art-Net receiver");
    return target;
  }
  const auto [device, name] = deviceOf(source);
  if (device == TDevice::None) {
    fail(option, text, "is not artnet:HOST, mtc, ltc:FILE.wav or ltc:audio, each with an optional ,fps");
  }
  target.Kind = device == TDevice::Mtc        ? TTimecodeOutKind::Mtc
                : device == TDevice::LtcAudio ? TTimecodeOutKind::LtcAudio
                                              : TTimecodeOutKind::LtcFile;
  target.Name = name;
  return target;
}

TTimecodeInSource timecodeIn(const std::string& text) {
  const std::string option = "--timecode-in";
  const auto [source, rate] = withRate(text);
  TTimecodeInSource in;
  in.Rate = rate;
  if (source == "artnet" || source.starts_with("artnet:")) {
    in.Listen = listenAddress(option, text, source.size() > 6 ? source.substr(7) : "", 0, kArtNetPort, false);
    return in;
  }
  if (source == "osc") {
    in.Kind = TTimecodeInKind::Osc;
    return in;
  }
  const auto [device, name] = deviceOf(source);
  if (device == TDevice::None) {
    fail(option, text, "is not artnet[:ADDRESS], mtc[:CLIENT:PORT], ltc:FILE.wav, ltc:audio[:DEVICE] or osc");
  }
  in.Kind = device == TDevice::Mtc        ? TTimecodeInKind::Mtc
            : device == TDevice::LtcAudio ? TTimecodeInKind::LtcAudio
                                          : TTimecodeInKind::LtcFile;
  in.Name = name;
  return in;
}

int hourOf(const std::string& text, const std::string& part) {
  const auto hour = wholeNumber(part);
  if (!hour || *hour < 0 || *hour > 23) fail("--timecode-hour", text, "an hour is a whole number from 0 to 23");
  return static_cast<int>(*hour);
}

THourTable hours(const std::string& text) {
  THourTable table;
  if (text.empty()) return table;
  for (const std::string& part : split(text, ',')) {
    const std::size_t equals = part.rfind('=');
    if (equals == std::string::npos) {
      table.Every = hourOf(text, part);
      continue;
    }
    const std::string key = part.substr(0, equals);
    const int hour = hourOf(text, part.substr(equals + 1));
    if (key.empty()) fail("--timecode-hour", text, "a show's hour needs its file name or entry number before =");
    const auto entry = wholeNumber(key);
    if (entry && *entry < 1) fail("--timecode-hour", text, "list entries count from 1");
    if (entry) {
      table.ByEntry[*entry] = hour;
    } else {
      table.ByName[key] = hour;
    }
  }
  return table;
}

TAddressRange addressRange(const std::string& text, const std::string& part) {
  const std::size_t slash = part.find('/');
  TAddressRange range{ipv4("--osc-allow", text, part.substr(0, slash)), 32};
  if (slash != std::string::npos) {
    const auto bits = wholeNumber(std::string_view(part).substr(slash + 1));
    if (!bits || *bits < 0 || *bits > 32) fail("--osc-allow", text, "the prefix after / is not from 0 to 32");
    range.Bits = static_cast<int>(*bits);
  }
  return range;
}

void parseLeading(const TSyncOptions& options, bool resolve, TSyncSetup& setup) {
  if (options.Lead.empty() && !options.Multicast && !options.Broadcast) return;
  TLeaderTargets targets;
  if (!options.Lead.empty()) {
    std::string error;
    targets.Followers = ParseFollowerList(options.Lead, resolve, error);
    if (targets.Followers.empty()) fail("--sync-lead", options.Lead, error);
  }
  targets.Multicast = options.Multicast;
  targets.Broadcast = options.Broadcast;
  setup.Lead = targets;
}

void parseFollowing(const TSyncOptions& options, TSyncSetup& setup) {
  if (options.Follow) setup.Follow = listenAddress("--sync-follow", *options.Follow, *options.Follow, 0, kMultiSyncPort, false);
  if (!options.TimecodeIn.empty()) setup.TimecodeIn = timecodeIn(options.TimecodeIn);
  if (setup.Follow && setup.TimecodeIn) {
    throw ESyncOptions("--sync-follow and --timecode-in cannot be given together: a player follows one leader");
  }
  if (setup.Lead && setup.Follow) throw ESyncOptions("--sync-lead and --sync-follow cannot be given together");
  if (!std::isfinite(options.OffsetMs) || std::abs(options.OffsetMs) > kMaxOffsetMs) {
    throw ESyncOptions("--sync-offset must be from -10000 to 10000 ms");
  }
  if (options.OffsetMs != 0 && !setup.Follow && !setup.TimecodeIn) {
    throw ESyncOptions("--sync-offset needs --sync-follow or --timecode-in");
  }
  setup.OffsetMs = options.OffsetMs;
}

void parseOsc(const TSyncOptions& options, bool resolve, TSyncSetup& setup) {
  if (!options.Osc.empty()) {
    setup.Osc = listenAddress("--osc", options.Osc, options.Osc, output::kLoopbackAddress, 0, true);
  }
  if (!options.OscAllow.empty()) {
    if (!setup.Osc) throw ESyncOptions("--osc-allow needs --osc");
    for (const std::string& part : split(options.OscAllow, ',')) setup.OscAllow.push_back(addressRange(options.OscAllow, part));
  }
  if (!options.OscFeedback.empty()) {
    if (options.OscFeedback.find(':') == std::string::npos) fail("--osc-feedback", options.OscFeedback, "needs HOST:PORT");
    setup.OscFeedback = endpoint("--osc-feedback", options.OscFeedback, options.OscFeedback, 0, resolve, "the OSC client");
  }
  if (setup.TimecodeIn && setup.TimecodeIn->Kind == TTimecodeInKind::Osc && !setup.Osc) {
    throw ESyncOptions("--timecode-in osc needs --osc");
  }
}

}  // namespace

std::optional<int> THourTable::For(const std::string& showName, std::optional<std::size_t> entry) const {
  if (entry) {
    const auto byEntry = ByEntry.find(static_cast<std::int64_t>(*entry) + 1);
    if (byEntry != ByEntry.end()) return byEntry->second;
  }
  const auto byName = ByName.find(showName);
  if (byName != ByName.end()) return byName->second;
  return Every;
}

bool TAddressRange::Contains(std::uint32_t address) const {
  if (Bits <= 0) return true;
  const std::uint32_t mask = Bits >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> Bits);
  return (address & mask) == (Address & mask);
}

bool TSyncSetup::Active() const {
  return Lead || Follow || TimecodeIn || !TimecodeOut.empty() || Osc || OscFeedback || ClockRate != 1;
}

TSyncSetup ParseSyncOptions(const TSyncOptions& options, bool resolve) {
  TSyncSetup setup;
  parseLeading(options, resolve, setup);
  parseFollowing(options, setup);
  for (const std::string& text : options.TimecodeOut) setup.TimecodeOut.push_back(timecodeOut(text, resolve));
  setup.Hours = hours(options.TimecodeHour);
  if (!options.TimecodeHour.empty() && setup.TimecodeOut.empty() && !setup.TimecodeIn) {
    throw ESyncOptions("--timecode-hour needs --timecode-out or --timecode-in");
  }
  parseOsc(options, resolve, setup);
  if (!(options.ClockRate >= kMinClockRate && options.ClockRate <= kMaxClockRate)) {
    throw ESyncOptions("--clock-rate must be from 0.5 to 2");
  }
  setup.ClockRate = options.ClockRate;
  return setup;
}

bool OscAllowed(const TSyncSetup& setup, std::uint32_t address) {
  if ((address >> 24) == 127) return true;
  for (const TAddressRange& range : setup.OscAllow) {
    if (range.Contains(address)) return true;
  }
  return false;
}

}  // namespace lumora::sync
