// TFramePreview: a small copy of the frames the show draws, for the control
// page's live picture. It is made on the drawing thread at most ten times a
// second while someone watches (once a second otherwise, so that a paused
// show has a picture too) and encoded only when asked for, on the asking
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "show/frame_sink.h"

namespace lumora::control {

class TFramePreview : public TFrameSink {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::int32_t kWidth = 320;
  static constexpr std::int32_t kHeight = 180;
  static constexpr std::chrono::milliseconds kWatchedEvery{100};
  static constexpr std::chrono::milliseconds kUnwatchedEvery{1000};
  // Someone watches while they asked this recently.
  static constexpr std::chrono::seconds kWatching{2};

  explicit TFramePreview(TClock clock = std::chrono::steady_clock::now) : fClock(std::move(clock)) {}

  void FrameDrawn(const TDrawnFrame& frame) override;
  // The latest small frame as PNG; none before the first frame.
  std::optional<std::vector<std::uint8_t>> Png();

 private:
  struct TSmallFrame {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint32_t> Pixels;
  };

  TClock fClock;
  std::mutex fLock;
  // Under fLock.
  TSmallFrame fLatest;
  std::uint64_t fMade = 0;
  std::chrono::steady_clock::time_point fLastMade;
  std::chrono::steady_clock::time_point fLastAsked;
  std::vector<std::uint8_t> fPng;
  std::uint64_t fEncoded = 0;
};

}  // namespace lumora::control
