#include "sync/sync_sender.h"

#include "sync/artnet_timecode.h"

namespace lumora::sync {

namespace {

std::string openIfNeeded(output::TUdpSocket& socket) {
  return socket.IsOpen() ? std::string() : socket.Open(0, std::nullopt);
}

}  // namespace

std::string TSyncLeader::Open() { return fSocket.IsOpen() ? std::string() : fSocket.Open(0, 0); }

// Every destination is tried; the first fault is told.
std::string TSyncLeader::send(const std::vector<std::uint8_t>& packet) {
  if (std::string error = Open(); !error.empty()) return error;
  std::string first;
  for (const output::TEndpoint& to : fDestinations) {
    std::string error = fSocket.SendTo(packet, to);
    if (error.empty()) {
      ++fSent;
    } else if (first.empty()) {
      first = std::move(error);
    }
  }
  return first;
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

std::string TSyncLeader::Resync(const TLeaderProgress& progress) {
  if (!progress.Playing || !fLast.Playing || fLast.File != progress.File) return Update(progress);
  std::string first = send(EncodeSyncPacket({TSyncAction::Sync, TSyncFileType::Sequence, progress.Frame,
                                             static_cast<float>(progress.Seconds), progress.File}));
  if (progress.MusicPlaying && fLast.MusicPlaying) {
    std::string error = send(EncodeSyncPacket({TSyncAction::Sync, TSyncFileType::Media, progress.Frame,
                                               static_cast<float>(progress.MusicSeconds), progress.MusicFile}));
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
