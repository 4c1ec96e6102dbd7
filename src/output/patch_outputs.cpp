#include <string>

#include "output/network_address.h"
#include "output/patch_parts_p.h"

namespace lumora::output::patch {

namespace {

constexpr std::uint32_t kMaxSacnUniverse = 63999;
constexpr std::uint32_t kMaxArtNetPortAddress = 32767;
constexpr std::uint32_t kMaxOlaUniverse = INT32_MAX;
constexpr std::uint32_t kMaxSlots = 512;

std::vector<std::string_view> keysOf(TProtocol protocol) {
  switch (protocol) {
    case TProtocol::Sacn:
      return {"protocol", "channels", "universe", "universe_size", "host", "port",
              "interface", "priority", "sync", "sync_universe"};
    case TProtocol::ArtNet:
      return {"protocol", "channels", "universe", "universe_size", "host", "port", "interface", "sync"};
    case TProtocol::Ddp:
      return {"protocol", "channels", "host", "port", "interface", "offset"};
    case TProtocol::Ola:
      return {"protocol", "channels", "universe", "universe_size", "port"};
  }
  return {};
}

std::uint16_t defaultPort(TProtocol protocol) {
  switch (protocol) {
    case TProtocol::Sacn:
      return 5568;
    case TProtocol::ArtNet:
      return 6454;
    case TProtocol::Ddp:
      return 4048;
    case TProtocol::Ola:
      return 9010;
  }
  return 0;
}

struct TUniverseRange {
  std::uint32_t Least;
  std::uint32_t Most;
  std::uint32_t Default;
  const char* Noun;
};

TUniverseRange universeRange(TProtocol protocol) {
  switch (protocol) {
    case TProtocol::Sacn:
      return {1, kMaxSacnUniverse, 1, "universe"};
    case TProtocol::ArtNet:
      return {0, kMaxArtNetPortAddress, 0, "port-address"};
    default:
      return {0, kMaxOlaUniverse, 1, "universe"};
  }
}

void readUniverses(const TPatchObject& object, TOutputRoute& output) {
  const TUniverseRange range = universeRange(output.Protocol);
  if (const auto size = object.Optional("universe_size")) {
    output.UniverseSize = static_cast<std::uint32_t>(size->Integer(1, kMaxSlots));
  }
  output.Universe = range.Default;
  const std::optional<TPatchValue> universe = object.Optional("universe");
  if (universe) output.Universe = static_cast<std::uint32_t>(universe->Integer(range.Least, range.Most));
  const std::uint64_t last = std::uint64_t{output.Universe} + output.UniverseCount() - 1;
  if (last > range.Most) {
    const TPatchValue where = universe ? *universe : object.Required("channels");
    where.Fail("its " + std::to_string(output.UniverseCount()) + " universes from " + std::to_string(output.Universe) +
               " run past " + range.Noun + " " + std::to_string(range.Most));
  }
}

void readSacnOptions(const TPatchObject& object, TOutputRoute& output) {
  if (const auto priority = object.Optional("priority")) output.Priority = static_cast<std::uint8_t>(priority->Integer(0, 200));
  if (const auto sync = object.Optional("sync")) output.Sync = sync->Boolean();
  output.SyncUniverse = static_cast<std::uint16_t>(output.Universe);
  if (const auto syncUniverse = object.Optional("sync_universe")) {
    if (!output.Sync) syncUniverse->Fail("needs \"sync\": true");
    output.SyncUniverse = static_cast<std::uint16_t>(syncUniverse->Integer(1, kMaxSacnUniverse));
  }
}

// 0.0.0.0 is no host to send to: for sACN and Art-Net it would have meant
// multicast or broadcast, which a patch asks for by leaving the host out.
void refuseAnyAddress(const TPatchValue& host, TProtocol protocol) {
  const std::string text = host.String();
  const std::string what = text == "0.0.0.0" ? "\"0.0.0.0\"" : "\"" + text + "\" (0.0.0.0)";
  switch (protocol) {
    case TProtocol::Sacn:
      host.Fail(what + " is no destination; leave \"host\" out to multicast to each universe's group");
    case TProtocol::ArtNet:
      host.Fail(what + " is no destination; leave \"host\" out to broadcast");
    default:
      host.Fail(what + " is no destination; name the controller's address");
  }
}

void readDestination(const TPatchObject& object, TOutputRoute& output, THostResolver& hosts) {
  if (const auto host = object.Optional("host")) {
    output.Host = host->String();
    output.Address = hosts.Resolve(*host);
    if (*output.Address == 0) refuseAnyAddress(*host, output.Protocol);
  } else if (output.Protocol == TProtocol::Ddp) {
    // DDP goes to one controller; asking for the host fails, naming it.
    object.Required("host");
  }
  if (const auto local = object.Optional("interface")) output.Interface = hosts.Resolve(*local);
  output.Port = defaultPort(output.Protocol);
  if (const auto port = object.Optional("port")) output.Port = static_cast<std::uint16_t>(port->Integer(1, 65535));
}

}  // namespace

std::uint32_t THostResolver::Resolve(const TPatchValue& value) {
  const std::string host = value.String();
  if (const auto known = fResolved.find(host); known != fResolved.end()) return known->second;
  std::string error;
  const std::optional<std::uint32_t> address = ResolveIpv4(host, error);
  if (!address) value.Fail("\"" + host + "\" does not resolve: " + error);
  fResolved.emplace(host, *address);
  return *address;
}

TOutputRoute ReadOutput(const TPatchObject& object, std::uint64_t sentBudget, THostResolver& hosts) {
  TOutputRoute output;
  std::vector<std::string_view> keys;
  for (const TProtocol protocol : kProtocols) keys.emplace_back(ProtocolKey(protocol));
  output.Protocol = kProtocols[object.Required("protocol").Choice(keys, "protocol")];
  object.OnlyKeys(keysOf(output.Protocol));
  const TPatchValue channels = object.Required("channels");
  const auto [first, last] = channels.Range(1, kMaxChannels);
  output.First = static_cast<std::uint32_t>(first - 1);
  output.Count = static_cast<std::uint32_t>(last - first + 1);
  if (output.Count > sentBudget) {
    channels.Fail("the outputs send more than " + std::to_string(kMaxSentChannels) + " channels in all");
  }
  if (output.Protocol == TProtocol::Ddp) {
    if (const auto offset = object.Optional("offset")) {
      output.DdpOffset = static_cast<std::uint32_t>(offset->Integer(0, UINT32_MAX - output.Count));
    }
  } else {
    readUniverses(object, output);
  }
  if (output.Protocol == TProtocol::Sacn) readSacnOptions(object, output);
  if (output.Protocol == TProtocol::ArtNet) {
    if (const auto sync = object.Optional("sync")) output.Sync = sync->Boolean();
  }
  readDestination(object, output, hosts);
  return output;
}

}  // namespace lumora::output::patch
