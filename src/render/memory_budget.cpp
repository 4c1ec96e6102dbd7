#include "render/memory_budget.h"

namespace lumora {

namespace {

thread_local TMemoryBudget* gInnermost = nullptr;

std::string mebibytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

TMemoryBudget::TMemoryBudget(std::uint64_t limit) : fLimit(limit), fOuter(gInnermost) { gInnermost = this; }

TMemoryBudget::~TMemoryBudget() { gInnermost = fOuter; }

void ChargeMemory(std::uint64_t bytes, const char* what) {
  for (const TMemoryBudget* b = gInnermost; b != nullptr; b = b->fOuter) {
    if (bytes > b->fLimit - b->fUsed) {
      throw EMemoryBudget("the show needs more than " + mebibytes(b->fLimit) + " of memory to draw (at " + what +
                          ")");
    }
  }
  for (TMemoryBudget* b = gInnermost; b != nullptr; b = b->fOuter) b->fUsed += bytes;
}

TMemoryCharge::TMemoryCharge(std::uint64_t bytes, const char* what) : fBytes(bytes), fInnermost(gInnermost) {
  ChargeMemory(bytes, what);
}

TMemoryCharge::~TMemoryCharge() {
  for (TMemoryBudget* b = fInnermost; b != nullptr; b = b->fOuter) b->fUsed -= fBytes;
}

}  // namespace lumora
