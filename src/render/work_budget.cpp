#include "render/work_budget.h"

#include <string>

namespace lumora {

namespace {

thread_local TWorkBudget* gInnermost = nullptr;

}  // namespace

TWorkBudget::TWorkBudget(const TWorkLimits& limits) : fLimits(limits), fOuter(gInnermost) { gInnermost = this; }

TWorkBudget::~TWorkBudget() { gInnermost = fOuter; }

void chargeWork(std::uint64_t TWorkLimits::*part, std::uint64_t amount, const char* unit, const char* what) {
  for (const TWorkBudget* b = gInnermost; b != nullptr; b = b->fOuter) {
    if (amount > b->fLimits.*part - b->fUsed.*part) {
      throw EWorkBudget("the show needs more than " + std::to_string(b->fLimits.*part) + " " + unit + " (at " +
                        what + ")");
    }
  }
  for (TWorkBudget* b = gInnermost; b != nullptr; b = b->fOuter) b->fUsed.*part += amount;
}

void ChargeFramePixels(std::uint64_t pixels, const char* what) {
  chargeWork(&TWorkLimits::FramePixels, pixels, "pixel blends a frame", what);
}

void ChargePreparePixels(std::uint64_t pixels, const char* what) {
  chargeWork(&TWorkLimits::PreparePixels, pixels, "pixels to prepare", what);
}

void ChargePoints(std::uint64_t points, const char* what) {
  chargeWork(&TWorkLimits::Points, points, "points", what);
}

void ChargeGraphics(std::uint64_t graphics, const char* what) {
  chargeWork(&TWorkLimits::Graphics, graphics, "graphics", what);
}

}  // namespace lumora
