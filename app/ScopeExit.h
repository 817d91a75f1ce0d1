// Runs a function when the scope that holds it ends, on every way out: the
// "progress 0, status Done" that closes each command, say.
#pragma once

#include <utility>

namespace vz {

template <typename TFunction>
class TScopeExit {
 public:
  explicit TScopeExit(TFunction function) : FFunction(std::move(function)) {}
  ~TScopeExit() { FFunction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  TFunction FFunction;
};

}  // namespace vz
