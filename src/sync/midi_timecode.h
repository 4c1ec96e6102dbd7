// MIDI timecode as bytes: the full-frame SysEx F0 7F 7F 01 01 hh mm ss ff F7
// (the rate in bits 5–6 of hh) on start and jumps, quarter-frame messages
// F1 0nnndddd while running, and the real-time start FA and stop FC. The
// eight quarter frames of a cycle carry one timecode, latched when piece 0
// goes out, so the frame field never mixes two frames.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sync/timecode.h"

namespace lumora::sync {

inline constexpr std::uint8_t kMidiStart = 0xFA;
inline constexpr std::uint8_t kMidiStop = 0xFC;
inline constexpr std::uint8_t kMidiQuarterFrame = 0xF1;
inline constexpr std::size_t kMtcFullFrameSize = 10;

std::array<std::uint8_t, kMtcFullFrameSize> MtcFullFrame(const TTimecode& timecode);
// Piece 0–7 of a timecode: frames low and high nibble, seconds, minutes,
// hours, the last with the rate.
std::array<std::uint8_t, 2> MtcQuarterFrame(const TTimecode& timecode, int piece);

// The sender's side: the show's running time in, MIDI bytes out.
class TMtcSender {
 public:
  explicit TMtcSender(TTimecodeRate rate, std::optional<int> fixedHour = std::nullopt)
      : fRate(rate), fFixedHour(fixedHour) {}

  // The fixed hour of the show or list entry now playing, from the next
  // full frame on.
  void SetFixedHour(std::optional<int> hour) { fFixedHour = hour; }
  // FA and a full frame of that time.
  std::vector<std::uint8_t> Start(double seconds);
  // FC.
  std::vector<std::uint8_t> Stop();
  // The quarter frames due up to `seconds`, four a frame; a step back or
  // more than two cycles on is a jump, sent as a full frame.
  std::vector<std::uint8_t> Advance(double seconds);

 private:
  std::int64_t quarterAt(double seconds) const;
  std::vector<std::uint8_t> jumpTo(double seconds);

  TTimecodeRate fRate;
  std::optional<int> fFixedHour;
  bool fRunning = false;
  // The last quarter frame accounted for; after a full frame, pieces wait
  // for the next cycle start (an even frame).
  std::int64_t fQuarter = 0;
  bool fWaitForCycle = false;
};

struct TMtcEvent {
  enum class TKind { Timecode, Start, Stop } Kind = TKind::Timecode;
  TTimecode Timecode;
  // Seconds into the show (the decoder's fixed hour taken off) when the
  // message's last byte arrived: a full frame's own time, or a quarter-frame
  // cycle's time plus the 1.75 frames its eight pieces took.
  double Seconds = 0;
};

// The receiver's side: MIDI bytes in any pieces, timecode out. Quarter
// frames count only as a whole cycle, pieces 0 to 7 in order; any other
// message in between (but real-time bytes) starts the cycle again.
class TMtcDecoder {
 public:
  explicit TMtcDecoder(std::optional<int> fixedHour = std::nullopt) : fFixedHour(fixedHour) {}

  std::vector<TMtcEvent> Feed(std::span<const std::uint8_t> bytes);

 private:
  void feedByte(std::uint8_t byte, std::vector<TMtcEvent>& out);
  void quarterFrame(std::uint8_t data, std::vector<TMtcEvent>& out);
  void endSysEx(std::vector<TMtcEvent>& out);

  static constexpr std::size_t kMaxSysEx = 16;
  std::optional<int> fFixedHour;
  enum class TState { Idle, QuarterData, SysEx } fState = TState::Idle;
  std::vector<std::uint8_t> fSysEx;
  bool fSysExOverflow = false;
  std::array<std::uint8_t, 8> fPieces{};
  int fNextPiece = 0;
};

}  // namespace lumora::sync
