#include "render/work_budget.h"

#include <gtest/gtest.h>

#include <string>

namespace lumora {
namespace {

// Each kind of work against a budget of 100 of it, nested in a larger one.
TEST(WorkBudget, EachKindChargesUpToItsLimitAndNamesItPast) {
  struct TCase {
    void (*Charge)(std::uint64_t, const char*);
    std::uint64_t TWorkLimits::*Part;
    const char* Message;
  };
  const TCase cases[] = {
      {ChargeFramePixels, &TWorkLimits::FramePixels, "the show needs more than 100 pixel blends a frame (at x)"},
      {ChargePreparePixels, &TWorkLimits::PreparePixels, "the show needs more than 100 pixels to prepare (at x)"},
      {ChargePoints, &TWorkLimits::Points, "the show needs more than 100 points (at x)"},
      {ChargeGraphics, &TWorkLimits::Graphics, "the show needs more than 100 graphics (at x)"},
  };
  for (const TCase& c : cases) {
    const TWorkBudget outer;
    TWorkLimits limits;
    limits.*c.Part = 100;
    const TWorkBudget inner(limits);
    c.Charge(60, "a");
    c.Charge(40, "b");
    try {
      c.Charge(1, "x");
      ADD_FAILURE() << c.Message;
    } catch (const EWorkBudget& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
    EXPECT_EQ(inner.Used().*c.Part, 100u) << c.Message;
    EXPECT_EQ(outer.Used().*c.Part, 100u) << "the outer budget counts too: " << c.Message;
  }
  EXPECT_NO_THROW(ChargeFramePixels(UINT64_MAX, "free without a budget"));
}

}  // namespace
}  // namespace lumora
