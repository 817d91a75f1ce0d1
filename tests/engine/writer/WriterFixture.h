// What the writer tests share: a folder of source files, an engine on the
// fake platform, and checks against the peers.
#pragma once

#include <string>
#include <vector>

#include "engine/writer/ZipEngine.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {

class TWriterFixture : public TEngineFixture {
 protected:
  void SetUp() override;

  // A writer set up to store paths relative to Src.
  std::unique_ptr<TZipEngine> RelativeEngine(const std::string& archive);
  // Names in the archive, in archive order, as our reader lists them.
  std::vector<std::string> Names(const std::string& archive);
  // Bytes of a member through our own extraction into memory.
  std::vector<u8> Member(const std::string& archive, const std::string& name,
                         const std::string& password = "");
  // The peers accept the archive: /usr/bin/unzip -t, 7z t and Python's zipfile
  // (where installed); each failure is a test failure.
  void ExpectPeersAccept(const std::string& archive, const std::string& password = "");
  // Extracts with Info-ZIP and compares each member with its source.
  void ExpectUnzipRestores(const std::string& archive, const std::vector<std::string>& names,
                           const std::string& password = "");
  // Files left in the fake's temporary folder.
  std::vector<std::string> TempFiles();

  std::string Src;                       // ends in "/"
  std::vector<std::string> SourceNames;  // relative to Src
};

// An archive already there (keep.zip: text.txt and empty) for operations
// that must leave it as it was when they fail.
class TKeptArchiveFixture : public TWriterFixture {
 protected:
  void SetUp() override;
  // The archive byte for byte as it was, and no temporary file left.
  void ExpectUnchanged();

  std::string Archive;
  std::vector<u8> Original;
};

}  // namespace vz::test
