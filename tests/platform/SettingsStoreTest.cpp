// The settings store: one contract for the INI file and the fake, then the
// file's own promises (typed text, foreign lines kept, atomic replacement).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/PosixSettingsStore.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

const std::string kKey = "Software\\Varnel\\Zip";

struct TIniSubject {
  std::unique_ptr<TPosixSettingsStore> Store;
  ISettingsStore& Get(TFakePlatform& fake) {
    if (!Store) {
      Store =
          std::make_unique<TPosixSettingsStore>(fake.Files, fake.Root() + "config/Varnel/Zip.conf");
    }
    return *Store;
  }
};
struct TFakeSubject {
  ISettingsStore& Get(TFakePlatform& fake) { return fake.Settings; }
};

template <typename T>
class SettingsContract : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
  T Subject;
  ISettingsStore& Store() { return Subject.Get(Fake); }
};

using Subjects = ::testing::Types<TIniSubject, TFakeSubject>;
TYPED_TEST_SUITE(SettingsContract, Subjects);

TYPED_TEST(SettingsContract, AbsentKeyOpensOnlyWhenCreated) {
  auto& store = this->Store();
  EXPECT_EQ(store.OpenKey(kKey, false), nullptr);
  auto created = store.OpenKey(kKey, true);
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(created->ValueNames().empty());
  EXPECT_TRUE(created->Close());
  auto opened = store.OpenKey(kKey, false);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened->ValueNames().empty());
  EXPECT_EQ(store.OpenKey(kKey + "\\Sub", false), nullptr) << "keys are separate";
}

TYPED_TEST(SettingsContract, EveryTypeRoundTripsExactly) {
  std::string allBytes;
  for (int b = 1; b < 256; ++b) allBytes += static_cast<char>(b);
  std::vector<u8> placement(17);
  for (std::size_t i = 0; i < placement.size(); ++i) placement[i] = static_cast<u8>(0xF0 + i);
  const std::vector<std::pair<std::string, TSettingValue>> values{
      {"Zero", u32{0}},
      {"Max", u32{0xFFFFFFFF}},
      {"Empty", std::string()},
      {"Bytes", allBytes},
      {"Text", std::string(" lead \"q\" \\ [s] a=b trail ")},
      {"NoBytes", std::vector<u8>()},
      {"MainFormPlacement", placement},
      {"Date", 45244.75},
      {"Tiny", 1e-300},
  };
  {
    auto key = this->Store().OpenKey(kKey, true);
    for (const auto& [name, value] : values) key->Write(name, value);
    ASSERT_TRUE(key->Close());
  }
  auto key = this->Store().OpenKey(kKey, false);
  ASSERT_NE(key, nullptr);
  for (const auto& [name, value] : values) EXPECT_EQ(key->Read(name), value) << name;
  EXPECT_EQ(key->ReadBinary("MainFormPlacement")->size(), 17u);
  EXPECT_EQ(key->ReadDword("Text"), std::nullopt) << "a string is not a DWORD";
  EXPECT_EQ(key->ReadString("Max"), std::nullopt);
  EXPECT_EQ(key->ReadFloat("Missing"), std::nullopt);
  EXPECT_EQ(key->ValueNames().size(), values.size());
}

TYPED_TEST(SettingsContract, NamesIgnoreAsciiLetterCase) {
  {
    auto key = this->Store().OpenKey(kKey, true);
    key->Write("ViewStyle", u32{1});
    ASSERT_TRUE(key->Close());
  }
  auto key = this->Store().OpenKey("SOFTWARE\\varnel\\ZIP", false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadDword("viewstyle"), 1u);
  key->Write("VIEWSTYLE", u32{2});
  ASSERT_TRUE(key->Close());
  auto again = this->Store().OpenKey(kKey, false);
  EXPECT_EQ(again->ValueNames().size(), 1u);
  EXPECT_EQ(again->ReadDword("ViewStyle"), 2u);
}

TYPED_TEST(SettingsContract, WritesReachTheStoreWhenTheKeyCloses) {
  auto writer = this->Store().OpenKey(kKey, true);
  writer->Write("A", u32{1});
  EXPECT_EQ(writer->ReadDword("A"), 1u) << "seen at once through the same key";
  EXPECT_EQ(this->Store().OpenKey(kKey, false), nullptr) << "not yet in the store";
  ASSERT_TRUE(writer->Close());
  EXPECT_TRUE(writer->Close()) << "closing twice is harmless";
  {
    auto key = this->Store().OpenKey(kKey, false);
    key->Write("B", std::string("b"));
    key->DeleteValue("A");
  }  // destruction closes
  auto key = this->Store().OpenKey(kKey, false);
  EXPECT_EQ(key->ReadString("B"), "b");
  EXPECT_FALSE(key->Read("A"));
}

TYPED_TEST(SettingsContract, TwoOpenKeysBothKeepTheirWrites) {
  auto first = this->Store().OpenKey(kKey, true);
  auto second = this->Store().OpenKey(kKey, true);
  first->Write("First", u32{1});
  second->Write("Second", u32{2});
  ASSERT_TRUE(first->Close());
  ASSERT_TRUE(second->Close());
  auto key = this->Store().OpenKey(kKey, false);
  EXPECT_EQ(key->ReadDword("First"), 1u);
  EXPECT_EQ(key->ReadDword("Second"), 2u);
}

TYPED_TEST(SettingsContract, MalformedNamesAreRefused) {
  EXPECT_THROW(this->Store().OpenKey("", true), std::invalid_argument);
  EXPECT_THROW(this->Store().OpenKey("a]b", true), std::invalid_argument);
  auto key = this->Store().OpenKey(kKey, true);
  for (const std::string name : {"", "a=b", " lead", "trail ", "line\nbreak", "[x"}) {
    EXPECT_THROW(key->Write(name, u32{1}), std::invalid_argument) << name;
  }
  key->Write("Delete TempFile 1", std::string("/tmp/x"));
  EXPECT_TRUE(key->Close());
}

// ---------------------------------------------------------------- the file

class IniFileTest : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
  std::string Folder = Fake.Root() + "config/Varnel/";
  TPosixSettingsStore Store{Fake.Files, Folder + "Zip.conf"};

  bool WriteOne(const std::string& name, const TSettingValue& value) {
    auto key = Store.OpenKey(kKey, true);
    if (!key) return false;
    key->Write(name, value);
    return key->Close();
  }
  std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Folder)) {
      names.push_back(e.path().filename());
    }
    return names;
  }
};

class SettingTextTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SettingTextTest, MalformedValueTextReadsAsAbsent) {
  EXPECT_EQ(DecodeSettingText(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingTextTest,
                         ::testing::Values("", "nocolon", "dword:", "dword:-1", "dword:4294967296",
                                           "dword:12a", "dword: 1", "hex:abc", "hex:zz", "sz:abc",
                                           "sz:\"a", "sz:\"a\"b\"", "sz:\"a\\q\"", "sz:\"\\x4\"",
                                           "sz:\"\\\"", "float:nan", "float:inf",
                                           "float:", "float:1.5x", "qword:5"));

TEST(SettingText, WritesReadableTypedText) {
  EXPECT_EQ(EncodeSettingText(u32{6}), "dword:6");
  EXPECT_EQ(EncodeSettingText(std::string("a\"\\\n\x01é")), "sz:\"a\\\"\\\\\\n\\x01é\"");
  EXPECT_EQ(EncodeSettingText(std::vector<u8>{0x00, 0xAB, 0x10}), "hex:00ab10");
  EXPECT_EQ(EncodeSettingText(45244.5), "float:45244.5");
  EXPECT_EQ(DecodeSettingText("hex:00AB10"), TSettingValue(std::vector<u8>{0x00, 0xAB, 0x10}));
}

TEST_F(IniFileTest, LinesItCannotReadSurviveAWrite) {
  test::MakeFolders(Folder);
  test::WriteFileText(Folder + "Zip.conf",
                      "; made by hand\n"
                      "[Software\\Varnel\\Zip]\n"
                      "# a comment = not a value\n"
                      "Future=qword:5\n"
                      "garbage line\n"
                      "Dup=dword:1\n"
                      "Dup=dword:2\n"
                      "\n"
                      "[Other]\n"
                      "X=dword:1\n");
  auto key = Store.OpenKey(kKey, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadDword("Dup"), 2u) << "a later duplicate wins";
  EXPECT_FALSE(key->Read("Future"));
  key->Write("New", u32{7});
  ASSERT_TRUE(key->Close());
  EXPECT_EQ(test::ReadFileText(Folder + "Zip.conf"),
            "; made by hand\n"
            "\n"
            "[Software\\Varnel\\Zip]\n"
            "# a comment = not a value\n"
            "Future=qword:5\n"
            "garbage line\n"
            "Dup=dword:2\n"
            "New=dword:7\n"
            "\n"
            "[Other]\n"
            "X=dword:1\n");
}

TEST_F(IniFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  ASSERT_TRUE(WriteOne("Kept", u32{1}));
  const std::string before = test::ReadFileText(Folder + "Zip.conf");
  Fake.Files.FailRenames(1, EIO);
  EXPECT_FALSE(WriteOne("Lost", u32{2}));
  Fake.Files.FailNthWrite(1, ENOSPC);
  EXPECT_FALSE(WriteOne("Lost", u32{2}));
  Fake.Files.DenyCreateBelow = Folder;
  EXPECT_FALSE(WriteOne("Lost", u32{2}));
  EXPECT_EQ(test::ReadFileText(Folder + "Zip.conf"), before);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Zip.conf"});
}

TEST_F(IniFileTest, FolderThatCannotBeMadeOpensNoKeyForWriting) {
  Fake.Files.DenyCreateBelow = Fake.Root() + "config";
  EXPECT_EQ(Store.OpenKey(kKey, true), nullptr);
  EXPECT_FALSE(test::FileExists(Folder));
}

TEST_F(IniFileTest, UnreadableFileOpensNoKeyAndIsNotOverwritten) {
  test::MakeFolders(Folder + "Zip.conf/inside");
  EXPECT_EQ(Store.OpenKey(kKey, false), nullptr);
  EXPECT_EQ(Store.OpenKey(kKey, true), nullptr);
  EXPECT_TRUE(test::FileExists(Folder + "Zip.conf/inside"));
}

TEST_F(IniFileTest, LinkedFileIsRewrittenAtItsTarget) {
  test::MakeFolders(Folder);
  test::MakeFolders(Fake.Root() + "dotfiles");
  test::WriteFileText(Fake.Root() + "dotfiles/zip.conf", "");
  std::filesystem::create_symlink("../../dotfiles/zip.conf", Folder + "Zip.conf");
  ASSERT_TRUE(WriteOne("Linked", u32{1}));
  EXPECT_TRUE(std::filesystem::is_symlink(Folder + "Zip.conf"));
  EXPECT_EQ(test::ReadFileText(Fake.Root() + "dotfiles/zip.conf"),
            "[Software\\Varnel\\Zip]\nLinked=dword:1\n");
}

TEST_F(IniFileTest, NewFileIsPrivateToItsOwner) {
  ASSERT_TRUE(WriteOne("A", u32{1}));
  const auto perms = std::filesystem::status(Folder + "Zip.conf").permissions();
  EXPECT_EQ(perms & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
}  // namespace vz
