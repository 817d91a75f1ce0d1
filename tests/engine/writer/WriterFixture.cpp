#include "tests/engine/writer/WriterFixture.h"

#include <filesystem>

#include "engine/support/Stream.h"

namespace vz::test {

void TWriterFixture::SetUp() {
  Src = Path("src/");
  MakeFolders(Src + "sub/deeper");
  const std::vector<std::pair<std::string, std::vector<u8>>> files = {
      {"text.txt", TextBytes(100000, 1)},
      {"random.bin", RandomBytes(5000, 2)},
      {"empty", {}},
      {"sub/run.dat", std::vector<u8>(70000, 'a')},
      {"sub/deeper/small.txt", TextBytes(300, 3)},
  };
  for (const auto& [name, data] : files) {
    WriteFileBytes(Src + name, data);
    SourceNames.push_back(name);
  }
}

std::unique_ptr<TZipEngine> TWriterFixture::RelativeEngine(const std::string& archive) {
  auto engine = std::make_unique<TZipEngine>(Services());
  engine->SetZipName(archive);
  engine->SetRootDir(Src);
  engine->SetRelativePaths(true);
  return engine;
}

std::vector<std::string> TWriterFixture::Names(const std::string& archive) {
  TUnZipEngine reader(Services());
  reader.SetZipName(archive);
  reader.ReadZip();
  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i) names.push_back(reader.FullName(i));
  return names;
}

std::vector<u8> TWriterFixture::Member(const std::string& archive, const std::string& name,
                                       const std::string& password) {
  TUnZipEngine reader(Services());
  reader.SetZipName(archive);
  reader.Password = password;
  TMemoryStream out;
  EXPECT_EQ(reader.UnZipToStream(out, name), 1) << name;
  return out.Memory();
}

void TWriterFixture::ExpectPeersAccept(const std::string& archive, const std::string& password) {
  const std::string q = ShellQuote(archive);
  if (HaveProgram("/usr/bin/unzip")) {
    const auto r =
        RunCommand("/usr/bin/unzip -tq " + (password.empty() ? "" : "-P " + password + " ") + q);
    EXPECT_EQ(r.ExitCode, 0) << "/usr/bin/unzip -t: " << r.Output;
  }
  if (HaveProgram("7z")) {
    const auto r = RunCommand("7z t -p" + ShellQuote(password) + " " + q);
    EXPECT_EQ(r.ExitCode, 0) << "7z t: " << r.Output;
  }
  if (HaveProgram("python3")) {
    const auto r = RunCommand(
        "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "z.setpassword(sys.argv[2].encode()); bad = z.testzip(); sys.exit(1 if bad else 0)\" " +
        q + " " + ShellQuote(password));
    EXPECT_EQ(r.ExitCode, 0) << "zipfile: " << r.Output;
  }
}

void TWriterFixture::ExpectUnzipRestores(const std::string& archive,
                                         const std::vector<std::string>& names,
                                         const std::string& password) {
  if (!HaveProgram("/usr/bin/unzip")) return;
  const std::string out = Path("unzipped/");
  std::filesystem::remove_all(out);
  MakeFolders(out);
  const auto r =
      RunCommand("/usr/bin/unzip -o -q " + (password.empty() ? "" : "-P " + password + " ") +
                 ShellQuote(archive) + " -d " + ShellQuote(out));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  for (const auto& name : names) {
    EXPECT_EQ(ReadFileBytes(out + name), ReadFileBytes(Src + name)) << name;
  }
}

void TKeptArchiveFixture::SetUp() {
  TWriterFixture::SetUp();
  Archive = Path("keep.zip");
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {Src + "text.txt", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 2);
  Original = ReadFileBytes(Archive);
}

void TKeptArchiveFixture::ExpectUnchanged() {
  EXPECT_EQ(ReadFileBytes(Archive), Original);
  EXPECT_TRUE(TempFiles().empty());
}

std::vector<std::string> TWriterFixture::TempFiles() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Fake.Files.TempFolder())) {
    names.push_back(e.path().filename().string());
  }
  return names;
}

}  // namespace vz::test
