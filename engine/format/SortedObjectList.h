// TSortedObjectList: a list kept in order by binary-search insertion, with a
// duplicates mode fixed at creation. An owning list frees its items; a view
// list only refers to items owned elsewhere.
#pragma once

#include <memory>
#include <vector>

#include "engine/support/Exceptions.h"
#include "platform/Types.h"

namespace vz {

enum class TDuplicates : u8 {
  DuplicatesIgnored = 0,   // an equal item is not added
  DuplicatesAccepted = 1,  // it goes before every item that compares equal
  DuplicatesRejected = 2,  // adding raises "Duplicate Object index"
};

template <typename T>
class TSortedObjectList {
 public:
  TSortedObjectList(TDuplicates duplicates, bool ownsItems)
      : FDuplicates(duplicates), FOwnsItems(ownsItems) {}
  virtual ~TSortedObjectList() = default;
  TSortedObjectList(const TSortedObjectList&) = delete;
  TSortedObjectList& operator=(const TSortedObjectList&) = delete;

  // Negative when `key` belongs after `existing`.
  virtual int Compare(const T& existing, const T& key) const = 0;

  int Count() const { return static_cast<int>(FItems.size()); }
  bool OwnsItems() const { return FOwnsItems; }
  TDuplicates Duplicates() const { return FDuplicates; }

  T* Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError::IndexOutOfRange(index);
    return FItems[static_cast<std::size_t>(index)];
  }
  const std::vector<T*>& All() const { return FItems; }

  // Binary search; `index` receives the insertion position.
  bool Find(const T& key, int& index) const {
    int lo = 0;
    int hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      const int c = Compare(*FItems[static_cast<std::size_t>(mid)], key);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (FDuplicates != TDuplicates::DuplicatesAccepted) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }

  // For an owning list. Returns the index, or -1 when an equal item made the
  // list ignore it (the item is then freed).
  int Add(std::unique_ptr<T> item) {
    const int index = InsertionIndex(*item);
    if (index < 0) return -1;
    FItems.insert(FItems.begin() + index, item.get());
    FOwned.insert(FOwned.begin() + index, std::move(item));
    return index;
  }

  // For a view list.
  int Add(T* item) {
    const int index = InsertionIndex(*item);
    if (index < 0) return -1;
    FItems.insert(FItems.begin() + index, item);
    return index;
  }

  [[noreturn]] void Put(int, T*) { throw EListError("Cannot <Put> an Object in a sorted list!"); }

  void Delete(int index) {
    Items(index);  // range check
    FItems.erase(FItems.begin() + index);
    if (FOwnsItems) FOwned.erase(FOwned.begin() + index);
  }

  void Clear() {
    FItems.clear();
    FOwned.clear();
  }

 protected:
  // Appends in the order given, for builders that have sorted already.
  void AppendSorted(std::vector<T*> items) { FItems = std::move(items); }

 private:
  int InsertionIndex(const T& item) const {
    int index = 0;
    const bool found = Find(item, index);
    if (found && FDuplicates == TDuplicates::DuplicatesIgnored) return -1;
    if (found && FDuplicates == TDuplicates::DuplicatesRejected) {
      throw EListError("Duplicate Object index");
    }
    return index;
  }

  TDuplicates FDuplicates;
  bool FOwnsItems;
  std::vector<T*> FItems;
  std::vector<std::unique_ptr<T>> FOwned;  // parallel to FItems when owning
};

}  // namespace vz
