// The fixture of the extraction tests: an engine on the fake platform whose
// events are recorded, extracting into <scratch>/out. Every test ends with a
// check that no temporary member file was left anywhere.
#pragma once

#include <filesystem>

#include "engine/reader/UnZipEngine.h"
#include "tests/engine/reader/ExtractHarness.h"
#include "tests/support/EngineFixture.h"

namespace vz::test {

class TExtractFixture : public TEngineFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(LeftoverParts(Fake.Root()), std::vector<std::string>{});
    // Tests that move into the scratch folder leave it before it is removed.
    std::error_code ec;
    std::filesystem::current_path(FStartFolder, ec);
  }

  // Names the archive and the destination; the directory is read by the
  // first operation.
  void Open(const std::vector<u8>& archive, const std::string& dest = "out") {
    Engine.SetZipName(Put("test.zip", archive));
    Engine.SetDestDir(dest.empty() ? dest : Path(dest));
  }

  std::string Out() const { return Path("out/"); }
  std::string Text(const std::string& path) const { return ReadFileText(path); }
  bool Exists(const std::string& path) const { return FileExists(path); }
  bool IsLink(const std::string& path) const {
    std::error_code ec;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec));
  }
  std::time_t MTime(const std::string& path) {
    const auto info = Fake.Files.Stat(path);
    return info ? std::chrono::system_clock::to_time_t(info->LastWrite) : 0;
  }
  static std::time_t DosSeconds(u32 dos) {
    return std::chrono::system_clock::to_time_t(*DosDateTimeToFileTime(dos));
  }

  std::filesystem::path FStartFolder = std::filesystem::current_path();
  TUnZipEngine Engine{Services()};
  TEventRecorder Events{Engine, Fake.Root()};
};

}  // namespace vz::test
