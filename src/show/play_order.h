// TPlayOrder: the order in which a play list's entries play: from a start
// entry, pass after pass, each pass in the list's order or shuffled anew,
// for a number of passes or for ever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace lumora {

struct TPlayListOptions {
  // Passes over the show before it ends: over a movie, or over every entry
  // of a play list. 0 plays for ever, as the player does.
  std::int32_t Loops = 0;
  // Each pass of a play list plays its entries in a new random order.
  bool Shuffle = false;
  // The entry of a play list that plays first, counted from 0; a pass is
  // every entry once from there on, round to the one before it.
  std::int32_t StartEntry = 0;
  // Seeds the shuffle; 0 takes a random seed.
  std::uint64_t ShuffleSeed = 0;
};

class TPlayOrder {
 public:
  // No entries: Next never gives one.
  TPlayOrder() = default;
  // StartEntry must be below entries.
  TPlayOrder(std::size_t entries, const TPlayListOptions& options);

  // The entry to play next, which then counts as played; none once the
  // last pass is over.
  std::optional<std::size_t> Next();
  // Steps back so that Next gives the entry before the one playing (the
  // pass's last one before its first).
  void Back();
  // The entry playing: the one Next gave last.
  std::optional<std::size_t> Current() const;
  std::size_t Entries() const { return fOrder.size(); }
  // Whether Next would end the show.
  bool LastPassOver() const;
  // Whether the entry playing is the last of its pass.
  bool PassOver() const { return fPosition >= fOrder.size(); }
  // The pass playing, counted from 1.
  std::int64_t Pass() const { return fPass + 1; }
  // The entries still to come in this pass, in order.
  std::vector<std::size_t> RestOfPass() const;
  // Makes Next give the entry at once, in this pass.
  void JumpTo(std::size_t entry);

 private:
  void newPass();

  TPlayListOptions fOptions;
  std::vector<std::size_t> fOrder;
  // Index in fOrder of the entry Next gives; fOrder.size() once a pass is
  // over.
  std::size_t fPosition = 0;
  std::int64_t fPass = 0;
  std::mt19937_64 fRandom;
};

}  // namespace lumora
