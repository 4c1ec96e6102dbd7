#include "sync/midi_timecode.h"

#include <cmath>

namespace lumora::sync {

namespace {

constexpr std::array<std::uint8_t, 5> kFullFrameHead = {0xF0, 0x7F, 0x7F, 0x01, 0x01};
constexpr std::uint8_t kSysExEnd = 0xF7;
// Two cycles (four frames) in one step are still sent as quarter frames, so
// a late tick does not read as a jump.
constexpr std::int64_t kMaxQuarterStep = 16;

std::uint8_t rateBits(TTimecodeRate rate) { return static_cast<std::uint8_t>(rate) & 3; }

std::optional<TTimecode> timecodeOf(std::uint8_t hoursAndRate, std::uint8_t minutes, std::uint8_t seconds,
                                    std::uint8_t frames) {
  const TTimecode t{static_cast<std::uint8_t>(hoursAndRate & 0x1F), minutes, seconds, frames,
                    static_cast<TTimecodeRate>(hoursAndRate >> 5 & 3)};
  return IsValidTimecode(t) ? std::optional(t) : std::nullopt;
}

}  // namespace

std::array<std::uint8_t, kMtcFullFrameSize> MtcFullFrame(const TTimecode& t) {
  return {kFullFrameHead[0], kFullFrameHead[1], kFullFrameHead[2], kFullFrameHead[3], kFullFrameHead[4],
          static_cast<std::uint8_t>(rateBits(t.Rate) << 5 | (t.Hours & 0x1F)), static_cast<std::uint8_t>(t.Minutes & 0x3F),
          static_cast<std::uint8_t>(t.Seconds & 0x3F), static_cast<std::uint8_t>(t.Frames & 0x1F), kSysExEnd};
}

std::array<std::uint8_t, 2> MtcQuarterFrame(const TTimecode& t, int piece) {
  piece &= 7;
  const std::uint8_t values[8] = {
      static_cast<std::uint8_t>(t.Frames & 0xF),  static_cast<std::uint8_t>(t.Frames >> 4 & 1),
      static_cast<std::uint8_t>(t.Seconds & 0xF), static_cast<std::uint8_t>(t.Seconds >> 4 & 3),
      static_cast<std::uint8_t>(t.Minutes & 0xF), static_cast<std::uint8_t>(t.Minutes >> 4 & 3),
      static_cast<std::uint8_t>(t.Hours & 0xF),   static_cast<std::uint8_t>(rateBits(t.Rate) << 1 | (t.Hours >> 4 & 1))};
  return {kMidiQuarterFrame, static_cast<std::uint8_t>(piece << 4 | values[piece])};
}

std::int64_t TMtcSender::quarterAt(double seconds) const {
  const double quarters = std::isfinite(seconds) && seconds > 0 ? std::floor(seconds * FramesPerSecond(fRate) * 4 + 1e-6) : 0;
  return static_cast<std::int64_t>(std::fmod(quarters, 4.0 * static_cast<double>(FramesPerDay(fRate))));
}

std::vector<std::uint8_t> TMtcSender::jumpTo(double seconds) {
  const auto full = MtcFullFrame(TimecodeAt(seconds, fRate, fFixedHour));
  // The quarter frames go on from this cycle, when it starts now, or the next.
  const std::int64_t quarter = quarterAt(seconds);
  fQuarter = quarter % 8 == 0 ? quarter - 1 : quarter;
  fWaitForCycle = true;
  return {full.begin(), full.end()};
}

std::vector<std::uint8_t> TMtcSender::Start(double seconds) {
  fRunning = true;
  std::vector<std::uint8_t> out{kMidiStart};
  const auto full = jumpTo(seconds);
  out.insert(out.end(), full.begin(), full.end());
  return out;
}

std::vector<std::uint8_t> TMtcSender::Stop() {
  fRunning = false;
  return {kMidiStop};
}

std::vector<std::uint8_t> TMtcSender::Advance(double seconds) {
  if (!fRunning) return {};
  const std::int64_t now = quarterAt(seconds);
  if (now < fQuarter || now - fQuarter > kMaxQuarterStep) return jumpTo(seconds);
  std::vector<std::uint8_t> out;
  for (std::int64_t q = fQuarter + 1; q <= now; ++q) {
    if (fWaitForCycle && q % 8 != 0) continue;
    fWaitForCycle = false;
    // Every piece of a cycle describes the frame at the cycle's start.
    const TTimecode t = WithFixedHour(TimecodeFromFrameCount((q - q % 8) / 4, fRate), fFixedHour);
    const auto message = MtcQuarterFrame(t, static_cast<int>(q % 8));
    out.insert(out.end(), message.begin(), message.end());
  }
  fQuarter = now;
  return out;
}

std::vector<TMtcEvent> TMtcDecoder::Feed(std::span<const std::uint8_t> bytes) {
  std::vector<TMtcEvent> out;
  for (const std::uint8_t byte : bytes) feedByte(byte, out);
  return out;
}

void TMtcDecoder::feedByte(std::uint8_t byte, std::vector<TMtcEvent>& out) {
  if (byte >= 0xF8) {
    // Real-time bytes may come between any others and interrupt nothing.
    if (byte == kMidiStart) out.push_back({TMtcEvent::TKind::Start, {}, 0});
    if (byte == kMidiStop) out.push_back({TMtcEvent::TKind::Stop, {}, 0});
    return;
  }
  if (byte & 0x80) {
    if (fState == TState::SysEx && byte == kSysExEnd) return endSysEx(out);
    fState = byte == kMidiQuarterFrame ? TState::QuarterData : byte == 0xF0 ? TState::SysEx : TState::Idle;
    if (fState == TState::SysEx) fSysEx.assign(1, byte), fSysExOverflow = false;
    if (fState == TState::Idle) fNextPiece = 0;
    return;
  }
  if (fState == TState::QuarterData) {
    quarterFrame(byte, out);
    fState = TState::Idle;
  } else if (fState == TState::SysEx) {
    if (fSysEx.size() < kMaxSysEx) fSysEx.push_back(byte);
    else fSysExOverflow = true;
  }
}

void TMtcDecoder::quarterFrame(std::uint8_t data, std::vector<TMtcEvent>& out) {
  const int piece = data >> 4 & 7;
  if (piece != fNextPiece) {
    fNextPiece = piece == 0 ? 1 : 0;
    if (piece == 0) fPieces[0] = data & 0xF;
    return;
  }
  fPieces[static_cast<std::size_t>(piece)] = data & 0xF;
  fNextPiece = piece + 1;
  if (piece < 7) return;
  fNextPiece = 0;
  const auto t = timecodeOf(static_cast<std::uint8_t>((fPieces[7] & 7) << 4 | fPieces[6]),
                            static_cast<std::uint8_t>(fPieces[5] << 4 | fPieces[4]),
                            static_cast<std::uint8_t>(fPieces[3] << 4 | fPieces[2]),
                            static_cast<std::uint8_t>(fPieces[1] << 4 | fPieces[0]));
  if (!t) return;
  const double seconds = SecondsOf(*t, fFixedHour) + 1.75 / FramesPerSecond(t->Rate);
  out.push_back({TMtcEvent::TKind::Timecode, *t, seconds});
}

void TMtcDecoder::endSysEx(std::vector<TMtcEvent>& out) {
  fState = TState::Idle;
  fNextPiece = 0;
  if (fSysExOverflow || fSysEx.size() != kMtcFullFrameSize - 1) return;
  if (!std::equal(kFullFrameHead.begin(), kFullFrameHead.end(), fSysEx.begin())) return;
  const auto t = timecodeOf(fSysEx[5], fSysEx[6], fSysEx[7], fSysEx[8]);
  if (t) out.push_back({TMtcEvent::TKind::Timecode, *t, SecondsOf(*t, fFixedHour)});
}

}  // namespace lumora::sync
