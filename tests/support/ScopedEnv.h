// Sets (or removes) an environment variable, or the umask, for the life of
// the guard and restores what was there before.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vz::test {

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TScopedEnv() {
    if (FOld) {
      ::setenv(FName, FOld->c_str(), 1);
    } else {
      ::unsetenv(FName);
    }
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// The process's umask for the guard's life (child processes inherit it).
class TScopedUmask {
 public:
  explicit TScopedUmask(mode_t mask) : FSaved(::umask(mask)) {}
  ~TScopedUmask() { ::umask(FSaved); }
  TScopedUmask(const TScopedUmask&) = delete;
  TScopedUmask& operator=(const TScopedUmask&) = delete;

 private:
  mode_t FSaved;
};

}  // namespace vz::test
