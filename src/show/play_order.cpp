#include "show/play_order.h"

#include <algorithm>
#include <numeric>

namespace lumora {

TPlayOrder::TPlayOrder(std::size_t entries, const TPlayListOptions& options)
    : fOptions(options), fOrder(entries),
      fRandom(options.ShuffleSeed != 0 ? options.ShuffleSeed : std::random_device{}()) {
  newPass();
}

// Every pass goes round from the start entry, so that passes follow on as
// the list does; shuffled, the first pass plays the start entry first and
// every pass shuffles the rest.
void TPlayOrder::newPass() {
  const std::size_t n = fOrder.size();
  const std::size_t start = static_cast<std::size_t>(fOptions.StartEntry) % std::max<std::size_t>(n, 1);
  for (std::size_t i = 0; i < n; ++i) fOrder[i] = (start + i) % n;
  if (fOptions.Shuffle && n > 1) std::shuffle(fOrder.begin() + (fPass == 0 ? 1 : 0), fOrder.end(), fRandom);
  fPosition = 0;
}

bool TPlayOrder::LastPassOver() const {
  if (fOrder.empty()) return true;
  return fPosition >= fOrder.size() && fOptions.Loops > 0 && fPass + 1 >= fOptions.Loops;
}

std::optional<std::size_t> TPlayOrder::Next() {
  if (LastPassOver()) return std::nullopt;
  if (fPosition >= fOrder.size()) {
    ++fPass;
    newPass();
  }
  return fOrder[fPosition++];
}

void TPlayOrder::Back() {
  const auto n = static_cast<std::int64_t>(fOrder.size());
  if (n == 0) return;
  fPosition = static_cast<std::size_t>(((static_cast<std::int64_t>(fPosition) - 2) % n + n) % n);
}

std::vector<std::size_t> TPlayOrder::RestOfPass() const {
  return {fOrder.begin() + static_cast<std::ptrdiff_t>(std::min(fPosition, fOrder.size())), fOrder.end()};
}

// A shuffled pass keeps its order: the entry is found in it. One played
// already this pass plays again, and the pass goes on from there.
void TPlayOrder::JumpTo(std::size_t entry) {
  const auto found = std::find(fOrder.begin(), fOrder.end(), entry);
  if (found != fOrder.end()) fPosition = static_cast<std::size_t>(found - fOrder.begin());
}

std::optional<std::size_t> TPlayOrder::Current() const {
  if (fPosition == 0) return std::nullopt;
  return fOrder[fPosition - 1];
}

}  // namespace lumora
