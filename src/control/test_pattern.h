// TTestPattern: what the lamps show in place of the show while someone
// checks the rig: every channel of an output (or of all) at one level, a
// chase that lights one channel after another, or one fixture lit so that
// it can be found.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumora::control {

enum class TTestKind : std::uint8_t { Level, Chase, Fixture };

// A range of channels: the index of the first, and how many.
using TChannelRange = std::pair<std::uint32_t, std::uint32_t>;

class TTestPattern {
 public:
  // channels: how many the outputs send; ranges: those the pattern lights.
  TTestPattern(TTestKind kind, std::uint8_t level, std::uint32_t channels, std::vector<TChannelRange> ranges,
               std::chrono::milliseconds step, nlohmann::json description);

  // The chase moves on when its step is up; true when the frame changed.
  bool Advance(std::chrono::steady_clock::time_point now);
  const std::vector<std::uint8_t>& Frame() const { return fFrame; }
  // The pattern and its settings, as the status shows them.
  const nlohmann::json& Description() const { return fDescription; }

 private:
  void light();

  TTestKind fKind;
  std::uint8_t fLevel;
  std::vector<TChannelRange> fRanges;
  std::chrono::milliseconds fStep;
  nlohmann::json fDescription;
  std::vector<std::uint8_t> fFrame;
  // The chase's place among the channels of the ranges.
  std::uint64_t fChaseIndex = 0;
  std::uint64_t fChaseLength = 0;
  std::chrono::steady_clock::time_point fNextStep{};
};

}  // namespace lumora::control
