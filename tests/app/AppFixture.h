// The application core on the fake platform: a scripted host, the fake
// services and the program-wide values as the program entry makes them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/core/AppGlobals.h"
#include "app/core/Helpers.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"

namespace vz::test {

class AppFixture : public ::testing::Test {
 protected:
  TScriptedHost Host;
  TFakePlatform Fake{Host};
  TAppGlobals Globals = InitGlobals(Fake.Environment);
  TAppContext App{Fake.Services(), Globals};

  std::string Path(const std::string& name) const { return Fake.Root() + name; }
};

// A focus target that counts how often it got the focus.
class TFocusCounter : public IFocusControl {
 public:
  void SetFocus() override { ++Count; }
  int Count = 0;
};

}  // namespace vz::test
