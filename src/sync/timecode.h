// SMPTE timecode as desks count it: hours, minutes, seconds and frames at
// one of four rates, with drop-frame counting for 29.97, and conversions
// between a timecode, a running frame count and seconds of a show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::sync {

// The rate codes Art-Net timecode, MIDI timecode and LTC share.
enum class TTimecodeRate : std::uint8_t { Film24 = 0, Ebu25 = 1, DropFrame2997 = 2, Smpte30 = 3 };

struct TTimecode {
  std::uint8_t Hours = 0;
  std::uint8_t Minutes = 0;
  std::uint8_t Seconds = 0;
  std::uint8_t Frames = 0;
  TTimecodeRate Rate = TTimecodeRate::Ebu25;
  friend bool operator==(const TTimecode&, const TTimecode&) = default;
};

// Frames a second as labelled (24, 25, 30, 30) and as they run (29.97…).
int NominalFramesPerSecond(TTimecodeRate rate);
double FramesPerSecond(TTimecodeRate rate);
// Frames in 24 hours, where the count wraps.
std::int64_t FramesPerDay(TTimecodeRate rate);

// Every field in range, and no label that drop-frame counting skips.
bool IsValidTimecode(const TTimecode& timecode);

// The label of the count-th frame from 00:00:00:00 (wrapping after 24 h),
// and back; drop-frame skips labels 00 and 01 of every minute but the tenth.
TTimecode TimecodeFromFrameCount(std::int64_t count, TTimecodeRate rate);
std::int64_t FrameCountFromTimecode(const TTimecode& timecode);

// The hours field moved on by a fixed hour (mod 24), when there is one.
TTimecode WithFixedHour(TTimecode timecode, std::optional<int> fixedHour);

// The frame showing `seconds` into a show (negative counts as 0); with a
// fixed hour the hours field starts there, so a desk can key cues on it.
TTimecode TimecodeAt(double seconds, TTimecodeRate rate, std::optional<int> fixedHour = std::nullopt);
// Seconds into the show at the start of that frame, the fixed hour taken off
// (a timecode before it counts from the previous day's).
double SecondsOf(const TTimecode& timecode, std::optional<int> fixedHour = std::nullopt);

// "24", "25", "29.97" (or "df"), "30"; nullopt for anything else.
std::optional<TTimecodeRate> ParseTimecodeRate(std::string_view text);
// "01:02:03:04", with ';' before the frames for drop-frame.
std::string FormatTimecode(const TTimecode& timecode);

}  // namespace lumora::sync
