#include "sync/timecode.h"

#include <cmath>
#include <cstdio>

namespace lumora::sync {

namespace {

// Drop-frame: 17,982 frames every ten minutes, 1,798 in each minute after
// the tenth's first.
constexpr std::int64_t kDropTenMinutes = 17982;
constexpr std::int64_t kDropMinute = 1798;

std::int64_t labelOfDropFrame(std::int64_t count) {
  const std::int64_t tens = count / kDropTenMinutes;
  const std::int64_t rest = count % kDropTenMinutes;
  const std::int64_t skipped = 18 * tens + (rest < 2 ? 0 : 2 * ((rest - 2) / kDropMinute));
  return count + skipped;
}

std::int64_t floorModulo(std::int64_t value, std::int64_t modulus) {
  const std::int64_t r = value % modulus;
  return r < 0 ? r + modulus : r;
}

}  // namespace

int NominalFramesPerSecond(TTimecodeRate rate) {
  switch (rate) {
    case TTimecodeRate::Film24: return 24;
    case TTimecodeRate::Ebu25: return 25;
    default: return 30;
  }
}

double FramesPerSecond(TTimecodeRate rate) {
  return rate == TTimecodeRate::DropFrame2997 ? 30000.0 / 1001.0 : NominalFramesPerSecond(rate);
}

std::int64_t FramesPerDay(TTimecodeRate rate) {
  if (rate == TTimecodeRate::DropFrame2997) return 24 * 6 * kDropTenMinutes;
  return std::int64_t{24} * 3600 * NominalFramesPerSecond(rate);
}

bool IsValidTimecode(const TTimecode& t) {
  if (static_cast<int>(t.Rate) > 3) return false;
  if (t.Hours > 23 || t.Minutes > 59 || t.Seconds > 59 || t.Frames >= NominalFramesPerSecond(t.Rate)) return false;
  const bool dropped = t.Rate == TTimecodeRate::DropFrame2997 && t.Seconds == 0 && t.Frames < 2 && t.Minutes % 10 != 0;
  return !dropped;
}

TTimecode TimecodeFromFrameCount(std::int64_t count, TTimecodeRate rate) {
  count = floorModulo(count, FramesPerDay(rate));
  const int fps = NominalFramesPerSecond(rate);
  const std::int64_t label = rate == TTimecodeRate::DropFrame2997 ? labelOfDropFrame(count) : count;
  TTimecode t;
  t.Rate = rate;
  t.Frames = static_cast<std::uint8_t>(label % fps);
  t.Seconds = static_cast<std::uint8_t>(label / fps % 60);
  t.Minutes = static_cast<std::uint8_t>(label / (fps * 60) % 60);
  t.Hours = static_cast<std::uint8_t>(label / (fps * 3600) % 24);
  return t;
}

std::int64_t FrameCountFromTimecode(const TTimecode& t) {
  const int fps = NominalFramesPerSecond(t.Rate);
  const std::int64_t label = ((std::int64_t{t.Hours} * 60 + t.Minutes) * 60 + t.Seconds) * fps + t.Frames;
  if (t.Rate != TTimecodeRate::DropFrame2997) return label;
  const std::int64_t minutes = std::int64_t{t.Hours} * 60 + t.Minutes;
  return label - 2 * (minutes - minutes / 10);
}

TTimecode TimecodeAt(double seconds, TTimecodeRate rate, std::optional<int> fixedHour) {
  // A frame's own start time, computed back, must land on that frame.
  const double frames = std::isfinite(seconds) && seconds > 0 ? std::floor(seconds * FramesPerSecond(rate) + 1e-6) : 0;
  const double day = static_cast<double>(FramesPerDay(rate));
  return WithFixedHour(TimecodeFromFrameCount(static_cast<std::int64_t>(std::fmod(frames, day)), rate), fixedHour);
}

TTimecode WithFixedHour(TTimecode t, std::optional<int> fixedHour) {
  if (fixedHour) t.Hours = static_cast<std::uint8_t>((t.Hours + floorModulo(*fixedHour, 24)) % 24);
  return t;
}

double SecondsOf(const TTimecode& timecode, std::optional<int> fixedHour) {
  TTimecode t = timecode;
  if (fixedHour) t.Hours = static_cast<std::uint8_t>(floorModulo(t.Hours - floorModulo(*fixedHour, 24), 24));
  return static_cast<double>(FrameCountFromTimecode(t)) / FramesPerSecond(t.Rate);
}

std::optional<TTimecodeRate> ParseTimecodeRate(std::string_view text) {
  if (text == "24") return TTimecodeRate::Film24;
  if (text == "25") return TTimecodeRate::Ebu25;
  if (text == "29.97" || text == "df") return TTimecodeRate::DropFrame2997;
  if (text == "30") return TTimecodeRate::Smpte30;
  return std::nullopt;
}

std::string FormatTimecode(const TTimecode& t) {
  char text[16];
  const char separator = t.Rate == TTimecodeRate::DropFrame2997 ? ';' : ':';
  std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", unsigned{t.Hours}, unsigned{t.Minutes}, unsigned{t.Seconds},
                separator, unsigned{t.Frames});
  return text;
}

}  // namespace lumora::sync
