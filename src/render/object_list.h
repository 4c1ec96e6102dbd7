// TCustomObjectList: the ordered owning list that layers, groups and the
// grid data are built on.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace lumora {

template <class T>
class TCustomObjectList {
 public:
  using TItems = std::vector<std::unique_ptr<T>>;

  TCustomObjectList() = default;
  TCustomObjectList(const TCustomObjectList&) = delete;
  TCustomObjectList& operator=(const TCustomObjectList&) = delete;
  virtual ~TCustomObjectList() { FreeAll(); }

  // Appends and takes ownership; answers the index.
  std::int32_t Add(std::unique_ptr<T> item) {
    fItems.push_back(std::move(item));
    return Count() - 1;
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(fItems.size()); }
  bool Empty() const { return fItems.empty(); }

  // An index outside the list raises std::out_of_range.
  T& Items(std::int32_t i) const {
    if (i < 0 || i >= Count()) throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return *fItems[static_cast<std::size_t>(i)];
  }
  T& Last() const { return Items(Count() - 1); }

  // Frees every item in index order, then empties the list.
  void FreeAll() {
    for (auto& item : fItems) item.reset();
    fItems.clear();
  }

  // Removes count items from index on, freeing them when free is set and
  // otherwise handing them to the caller. Bad arguments remove nothing.
  TItems DeleteRange(std::int32_t index, std::int32_t count, bool free) {
    TItems removed;
    if (fItems.empty() || index < 0 || index >= Count() || count < 0 ||
        static_cast<std::int64_t>(index) + count > Count()) {
      return removed;
    }
    const auto first = fItems.begin() + index;
    const auto last = first + count;
    if (free) {
      for (auto it = first; it != last; ++it) it->reset();
    } else {
      removed.assign(std::make_move_iterator(first), std::make_move_iterator(last));
    }
    fItems.erase(first, last);
    return removed;
  }

  // Removes every item without freeing it: the caller takes them over.
  [[nodiscard]] TItems Clear() {
    TItems removed = std::move(fItems);
    fItems = TItems();
    return removed;
  }

  typename TItems::const_iterator begin() const { return fItems.begin(); }
  typename TItems::const_iterator end() const { return fItems.end(); }

 private:
  TItems fItems;
};

}  // namespace lumora
