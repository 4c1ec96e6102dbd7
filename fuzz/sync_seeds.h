// Seeds for the sync layer's parsers, written by its own encoders:
// MultiSync packets and a follower's report, ArtTimeCode packets at every rate, OSC messages and a
// bundle, and MIDI timecode as a sender runs.
#pragma once

#include <string>
#include <vector>

#include "sync/artnet_timecode.h"
#include "sync/follower_report.h"
#include "sync/midi_timecode.h"
#include "sync/multisync_packet.h"
#include "sync/osc_message.h"

namespace lumora::fuzz {

template <class TWrite>
void WriteSyncSeeds(const std::string& out, TWrite write) {
  using namespace sync;
  write(out + "/multisync", "start", EncodeSyncPacket({TSyncAction::Start, TSyncFileType::Sequence, 0, 0, "show.fseq"}));
  write(out + "/multisync", "sync", EncodeSyncPacket({TSyncAction::Sync, TSyncFileType::Sequence, 1234, 37.02f, "show.fseq"}));
  write(out + "/multisync", "media", EncodeSyncPacket({TSyncAction::Sync, TSyncFileType::Media, 40, 1.5f, "song.mp3"}));
  write(out + "/multisync", "stop", EncodeSyncPacket({TSyncAction::Stop, TSyncFileType::Sequence, 99, 2.97f, "a/b.fseq"}));
  write(out + "/multisync", "blank", EncodeBlankPacket());
  write(out + "/multisync", "report", EncodeFollowerReport({true, true, -12.5, 300}));
  const TTimecode times[] = {{1, 2, 3, 4, TTimecodeRate::Film24}, {23, 59, 59, 24, TTimecodeRate::Ebu25},
                             {0, 10, 0, 0, TTimecodeRate::DropFrame2997}, {12, 0, 0, 29, TTimecodeRate::Smpte30}};
  int n = 0;
  for (const TTimecode& t : times) {
    const auto packet = EncodeArtTimeCode(t);
    write(out + "/artnet", "rate" + std::to_string(n++), std::vector<std::uint8_t>(packet.begin(), packet.end()));
  }
  write(out + "/osc", "play", EncodeOscMessage("/lumora/play", {std::string("show.lst"), std::int64_t{2}}));
  write(out + "/osc", "brightness", EncodeOscMessage("/lumora/brightness", {0.5}));
  write(out + "/osc", "seek", EncodeOscMessage("/lumora/seek/seconds", {12.5}));
  write(out + "/osc", "blackout", EncodeOscMessage("/lumora/blackout", {true}));
  write(out + "/osc", "timecode", EncodeOscMessage("/lumora/timecode/frame", {std::int64_t{480}}));
  const auto next = EncodeOscMessage("/lumora/next", {});
  std::vector<std::uint8_t> bundle = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                                      static_cast<std::uint8_t>(next.size())};
  bundle.insert(bundle.end(), next.begin(), next.end());
  write(out + "/osc", "bundle", bundle);
  TMtcSender sender(TTimecodeRate::DropFrame2997, 10);
  std::vector<std::uint8_t> midi = sender.Start(59.9);
  for (double s = 59.9; s < 60.5; s += 0.01) {
    const auto bytes = sender.Advance(s);
    midi.insert(midi.end(), bytes.begin(), bytes.end());
  }
  const auto stop = sender.Stop();
  midi.insert(midi.end(), stop.begin(), stop.end());
  write(out + "/mtc", "running", midi);
}

}  // namespace lumora::fuzz
