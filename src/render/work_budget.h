// The work a show may ask of the player, beside the memory it may take: the
// pixels every frame must blend, estimated as the show is prepared, the
// pixels preparing it may touch, and the points and graphics loading and
// preparing may produce. Like a memory
// budget, a work budget is in force for its lifetime on its thread, budgets
// nest and a charge counts against every budget in force; without one,
// charges are free.
#pragma once

#include <cstdint>

#include "render/memory_budget.h"

namespace lumora {

// The pixels one frame may blend: the frame's own clearing, the stored
// coverage of outlines, lamp stamps, LED images, swinging lights and
// pictures. A frame at the limit takes a few tenths of a second.
inline constexpr std::uint64_t kFramePixelBudget = std::uint64_t{1} << 28;
// The pixels preparing a show may touch beyond drawing each graphic once:
// every masked layer builds its mask over the whole frame.
inline constexpr std::uint64_t kPreparePixelBudget = std::uint64_t{1} << 31;
// The points of every outline and lamp row of a show, read or generated.
inline constexpr std::uint64_t kShowPointBudget = std::uint64_t{1} << 21;
// The graphics of a show: those its file holds, groups' children included,
// and the pieces its splits make.
inline constexpr std::uint64_t kShowGraphicBudget = std::uint64_t{1} << 18;

struct TWorkLimits {
  std::uint64_t FramePixels = kFramePixelBudget;
  std::uint64_t PreparePixels = kPreparePixelBudget;
  std::uint64_t Points = kShowPointBudget;
  std::uint64_t Graphics = kShowGraphicBudget;
};

class EWorkBudget : public EShowBudget {
 public:
  using EShowBudget::EShowBudget;
};

class TWorkBudget {
 public:
  explicit TWorkBudget(const TWorkLimits& limits = {});
  ~TWorkBudget();
  TWorkBudget(const TWorkBudget&) = delete;
  TWorkBudget& operator=(const TWorkBudget&) = delete;

  const TWorkLimits& Limits() const { return fLimits; }
  const TWorkLimits& Used() const { return fUsed; }

 private:
  friend void chargeWork(std::uint64_t TWorkLimits::*part, std::uint64_t amount, const char* unit,
                         const char* what);

  TWorkLimits fLimits;
  TWorkLimits fUsed{0, 0, 0, 0};
  TWorkBudget* fOuter;
};

// Each charges what a step is about to produce for `what`; past a limit of a
// budget in force it raises EWorkBudget and charges nothing.
void ChargeFramePixels(std::uint64_t pixels, const char* what);
void ChargePreparePixels(std::uint64_t pixels, const char* what);
void ChargePoints(std::uint64_t points, const char* what);
void ChargeGraphics(std::uint64_t graphics, const char* what);

}  // namespace lumora
