// The fixture most engine tests share: a scripted host, the fake platform and
// helpers to put archives into its scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz::test {

class TEngineFixture : public ::testing::Test {
 protected:
  TScriptedHost Host;
  TFakePlatform Fake{Host};

  const TPlatform& Services() const { return Fake.Services(); }
  std::string Path(const std::string& name) const { return Fake.Root() + name; }
  std::string Put(const std::string& name, const std::vector<u8>& bytes) {
    const std::string path = Path(name);
    WriteFileBytes(path, bytes);
    return path;
  }
};

}  // namespace vz::test
