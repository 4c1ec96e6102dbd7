#include "sync/sync_sender.h"

#include "sync/artnet_timecode.h"

namespace lumora::sync {

namespace {

std::string openIfNeeded(output::TUdpSocket& socket) {
  return socket.IsOpen() ? std::string() : socket.Open(0, std::nullopt);
}

}  // namespace

std::string TSyncLeader::send(const std::vector<std::uint8_t>& packet) {
  if (std::string error = openIfNeeded(fSocket); !error.empty()) return error;
  std::vector<output::TDatagram> datagrams;
  for (const output::TEndpoint& to : fDestinations) datagrams.push_back({packet, {}, {}, to});
  std::string error = fSocket.Send(datagrams, fScratch);
  if (error.empty()) fSent += datagrams.size();
  return error;
}

std::string TSyncLeader::Update(const TLeaderProgress& progress) {
  std::string first;
  for (const TSyncPacket& packet : LeaderPackets(fLast, progress)) {
    std::string error = send(EncodeSyncPacket(packet));
    if (first.empty()) first = std::move(error);
  }
  fLast = progress;
  return first;
}

std::string TSyncLeader::Blank() { return send(EncodeBlankPacket()); }

std::string TArtTimecodeSender::Update(double seconds) {
  const TTimecode now = TimecodeAt(seconds, fRate, fFixedHour);
  if (fLast == now) return {};
  if (std::string error = openIfNeeded(fSocket); !error.empty()) return error;
  const auto packet = EncodeArtTimeCode(now);
  const output::TDatagram datagram{packet, {}, {}, fTo};
  std::string error = fSocket.Send({&datagram, 1}, fScratch);
  if (error.empty()) fLast = now;
  return error;
}

}  // namespace lumora::sync
