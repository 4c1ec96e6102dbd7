// The memory a show derives from its file — surfaces, maps, stored coverage,
// lamp lists — is charged to the budgets in force while it loads and
// prepares, so that a few bytes of a file cannot ask for gigabytes. A budget
// is in force for its lifetime on its thread; budgets nest, and a charge
// counts against every budget in force. Without one, charges are free.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumora {

// What one show may derive from its file.
inline constexpr std::uint64_t kShowMemoryBudget = std::uint64_t{1} << 30;

// A show that asks for more than one of its budgets allows (memory here, the
// work of a frame or of loading in work_budget.h); it is refused whole.
class EShowBudget : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EMemoryBudget : public EShowBudget {
 public:
  using EShowBudget::EShowBudget;
};

class TMemoryBudget {
 public:
  explicit TMemoryBudget(std::uint64_t limit = kShowMemoryBudget);
  ~TMemoryBudget();
  TMemoryBudget(const TMemoryBudget&) = delete;
  TMemoryBudget& operator=(const TMemoryBudget&) = delete;

  std::uint64_t Used() const { return fUsed; }
  std::uint64_t Limit() const { return fLimit; }

 private:
  friend void ChargeMemory(std::uint64_t bytes, const char* what);
  friend class TMemoryCharge;

  std::uint64_t fLimit;
  std::uint64_t fUsed = 0;
  TMemoryBudget* fOuter;
};

// Charges the bytes about to be allocated for what; raises EMemoryBudget,
// charging nothing, when a budget in force would pass its limit.
void ChargeMemory(std::uint64_t bytes, const char* what);

// Memory a step holds only while it runs (a scratch table, say): charged like
// any other when the charge begins, and given back to the same budgets when
// it ends. A charge lives inside the budgets it was made under.
class TMemoryCharge {
 public:
  TMemoryCharge(std::uint64_t bytes, const char* what);
  ~TMemoryCharge();
  TMemoryCharge(const TMemoryCharge&) = delete;
  TMemoryCharge& operator=(const TMemoryCharge&) = delete;

 private:
  std::uint64_t fBytes;
  TMemoryBudget* fInnermost;
};

}  // namespace lumora
