// Settings: defaults, the round trip through both stores, window placement,
// the options-only save, a store that cannot be written, and the clean-up of
// viewer files at program end.
#include "app/core/AppInfo.h"

#include <algorithm>
#include <filesystem>

#include "platform/posix/PosixSettingsStore.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

constexpr TScreenSize kScreen{1280, 1024};
const std::string kKey = "Software\\Varnel\\Zip";

class TFakeForm : public IFormGeometry {
 public:
  TWindowState State = TWindowState::wsNormal;
  TFormBounds NormalBounds{1, 2, 300, 200};
  std::vector<std::string> Calls;

  TWindowState WindowState() const override { return State; }
  TFormBounds Bounds() const override { return NormalBounds; }
  void SetBounds(const TFormBounds& bounds) override {
    NormalBounds = bounds;
    Calls.push_back("SetBounds");
  }
  void SetWindowState(TWindowState state) override {
    State = state;
    Calls.push_back("SetWindowState");
  }
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectSameSettings(const TAppInfo& a, const TAppInfo& b) {
  EXPECT_EQ(a.AutoScan, b.AutoScan);
  EXPECT_EQ(a.AntiVirus, b.AntiVirus);
  EXPECT_EQ(a.AVParameters, b.AVParameters);
  EXPECT_EQ(a.DefCompressLevel, b.DefCompressLevel);
  EXPECT_EQ(a.Encryption, b.Encryption);
  EXPECT_EQ(a.FileViewer, b.FileViewer);
  EXPECT_EQ(a.HSplitterPos, b.HSplitterPos);
  EXPECT_EQ(a.PasswordChar, b.PasswordChar);
  EXPECT_EQ(a.GridLines, b.GridLines);
  EXPECT_EQ(a.MainToolBar, b.MainToolBar);
  EXPECT_EQ(a.RunMinimized, b.RunMinimized);
  EXPECT_EQ(a.ViewStyle, b.ViewStyle);
  EXPECT_EQ(a.VSplitterPos, b.VSplitterPos);
  EXPECT_EQ(a.MainFormPlacement, b.MainFormPlacement);
}

// ---------------------------------------------------------------- both stores

enum class TStoreKind { Fake, Ini };
void PrintTo(TStoreKind kind, std::ostream* os) {
  *os << (kind == TStoreKind::Fake ? "fake store" : "INI file");
}

class AppInfoStoreTest : public test::AppFixture, public ::testing::WithParamInterface<TStoreKind> {
 protected:
  TPosixSettingsStore Ini{Fake.Files, Fake.Environment.ConfigFolder + "Varnel/Zip.conf"};
  ISettingsStore& Store() {
    return GetParam() == TStoreKind::Fake ? static_cast<ISettingsStore&>(Fake.Settings) : Ini;
  }
  TPlatform Platform{Fake.Files,       Fake.Drives, Fake.Clock,     Fake.Random, Host,
                     Fake.Environment, Store(),     Fake.Processes, Fake.Shell,  Fake.Mail};
  TAppContext Context{Platform, Globals};

  std::vector<std::string> StoredNames() {
    auto key = Store().OpenKey(kKey, false);
    return key ? Sorted(key->ValueNames()) : std::vector<std::string>{};
  }
};

TEST_P(AppInfoStoreTest, EveryFieldRoundTripsExactly) {
  const std::string viewer = Path("bin/my viewer");
  test::WriteFileText(viewer, "#!/bin/sh\n");
  TAppInfo saved(Context, kScreen);
  saved.AutoScan = true;
  saved.AntiVirus = "/opt/scan, \"quoted\" = [x]\\y";
  saved.AVParameters = " --all\t-r\n";
  saved.DefCompressLevel = 9;
  saved.Encryption = 2;
  saved.FileViewer = viewer;
  saved.HSplitterPos = 321;
  saved.PasswordChar = true;
  saved.GridLines = true;
  saved.MainToolBar = false;
  saved.RunMinimized = true;
  saved.ViewStyle = 0;
  saved.VSplitterPos = 0;
  saved.MainFormPlacement = {{-8, -8, 1300, 900}, TWindowState::wsMaximized};
  ASSERT_TRUE(saved.SaveSettings(false));

  TAppInfo loaded(Context, {800, 600});
  loaded.LoadSettings();
  ExpectSameSettings(saved, loaded);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_P(AppInfoStoreTest, MaximizedWindowKeepsItsLastNormalBoundsAcrossARestart) {
  TFakeForm form;
  form.NormalBounds = {100, 120, 800, 600};
  TAppInfo first(Context, kScreen);
  first.StoreFormPlacement(form);
  form.State = TWindowState::wsMaximized;
  form.NormalBounds = {0, 0, 1920, 1080};
  first.StoreFormPlacement(form);
  ASSERT_TRUE(first.SaveSettings(false));

  TAppInfo next(Context, kScreen);
  next.LoadSettings();
  TFakeForm restored;
  next.ApplyFormPlacement(restored);
  EXPECT_EQ(restored.Calls, (std::vector<std::string>{"SetBounds", "SetWindowState"}));
  EXPECT_EQ(restored.NormalBounds, (TFormBounds{100, 120, 800, 600}));
  EXPECT_EQ(restored.State, TWindowState::wsMaximized);
}

TEST_P(AppInfoStoreTest, MinimizedWindowIsStoredAsNormalWithItsLastNormalBounds) {
  TFakeForm form;
  form.NormalBounds = {10, 20, 700, 500};
  TAppInfo first(Context, kScreen);
  first.StoreFormPlacement(form);
  form.State = TWindowState::wsMinimized;
  form.NormalBounds = {-32000, -32000, 160, 28};
  first.StoreFormPlacement(form);
  ASSERT_TRUE(first.SaveSettings(false));

  TAppInfo next(Context, kScreen);
  next.LoadSettings();
  EXPECT_EQ(next.MainFormPlacement.State, TWindowState::wsNormal);
  EXPECT_EQ(next.MainFormPlacement.Bounds, (TFormBounds{10, 20, 700, 500}));
}

TEST_P(AppInfoStoreTest, OptionsOnlySaveWritesOnlyItsSixValues) {
  TAppInfo info(Context, kScreen);
  ASSERT_TRUE(info.SaveSettings(true));
  EXPECT_EQ(StoredNames(), Sorted({"AutoScan", "AntiVirus", "AVParameters", "DefCompressLevel",
                                   "PasswordChar", "RunMinimized"}));
  ASSERT_TRUE(info.SaveSettings(false));
  EXPECT_EQ(StoredNames().size(), 14u);
}

TEST_P(AppInfoStoreTest, StoreThatCannotBeWrittenKeepsNothingAndSaysNothing) {
  if (GetParam() == TStoreKind::Fake) {
    Fake.Settings.FailWrites = true;
  } else {
    Fake.Files.DenyCreateBelow = Fake.Environment.ConfigFolder;
  }
  TAppInfo info(Context, kScreen);
  info.DefCompressLevel = 1;
  EXPECT_FALSE(info.SaveSettings(false));
  EXPECT_FALSE(info.SaveSettings(true));
  EXPECT_EQ(Store().OpenKey(kKey, false), nullptr);
  EXPECT_TRUE(Host.Messages.empty());
  info.LoadSettings();
  EXPECT_EQ(info.DefCompressLevel, 6);
}

INSTANTIATE_TEST_SUITE_P(Stores, AppInfoStoreTest,
                         ::testing::Values(TStoreKind::Fake, TStoreKind::Ini),
                         [](const auto& param) {
                           return param.param == TStoreKind::Fake ? "Fake" : "IniFile";
                         });

class AppInfoIniTest : public AppInfoStoreTest {};

TEST_P(AppInfoIniTest, FileHoldsTheTypedValuesAndSeventeenPlacementBytes) {
  TAppInfo info(Context, kScreen);
  info.MainFormPlacement = {{-8, 16, 610, 450}, TWindowState::wsMaximized};
  ASSERT_TRUE(info.SaveSettings(false));
  const std::string text = test::ReadFileText(Ini.FilePath());
  EXPECT_EQ(text.rfind("[Software\\Varnel\\Zip]\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nMainFormPlacement=hex:f8ffffff1000000062020000c201000002\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nDefCompressLevel=dword:6\n"), std::string::npos);
  EXPECT_NE(text.find("\nAntiVirus=sz:\"\"\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(IniFile, AppInfoIniTest, ::testing::Values(TStoreKind::Ini));

// ---------------------------------------------------------------- defaults

using AppInfoTest = test::AppFixture;

TEST_F(AppInfoTest, FirstRunGivesTheDocumentedDefaults) {
  test::WriteFileText(Path("bin/xdg-open"), "");
  Fake.Environment.Programs["xdg-open"] = Path("bin/xdg-open");
  TAppInfo info(App, kScreen);
  info.ViewStyle = 0;
  info.LoadSettings();
  EXPECT_EQ(info.MainFormPlacement.Bounds, (TFormBounds{335, 287, 610, 450}));
  EXPECT_EQ(info.MainFormPlacement.State, TWindowState::wsNormal);
  EXPECT_EQ(info.ViewStyle, 3);
  EXPECT_TRUE(info.MainToolBar);
  EXPECT_FALSE(info.GridLines);
  EXPECT_EQ(info.DefCompressLevel, 6);
  EXPECT_EQ(info.FileViewer, "");  // the opener is not taken on the very first run
  EXPECT_EQ(info.AntiVirus, "");
  EXPECT_EQ(info.HSplitterPos, 233);
  EXPECT_EQ(info.VSplitterPos, 193);
  EXPECT_FALSE(Fake.Settings.HasKey(kKey));
  EXPECT_TRUE(Host.Messages.empty());
}

struct TCentreCase {
  TScreenSize Screen;
  TFormBounds Expected;
  friend void PrintTo(const TCentreCase& c, std::ostream* os) {
    *os << c.Screen.Width << "x" << c.Screen.Height;
  }
};

class DefaultPlacementTest : public ::testing::TestWithParam<TCentreCase> {};

TEST_P(DefaultPlacementTest, CentresWithHalvesRoundedTowardZero) {
  const TFormPlacement placement = TAppInfo::DefaultPlacement(GetParam().Screen);
  EXPECT_EQ(placement.Bounds, GetParam().Expected);
  EXPECT_EQ(placement.State, TWindowState::wsNormal);
}

INSTANTIATE_TEST_SUITE_P(Screens, DefaultPlacementTest,
                         ::testing::Values(TCentreCase{{1280, 1024}, {335, 287, 610, 450}},
                                           TCentreCase{{1023, 767}, {206, 158, 610, 450}},
                                           TCentreCase{{600, 400}, {-5, -25, 610, 450}}));

TEST_F(AppInfoTest, VanishedViewerIsReplacedByTheDesktopOpenerAndSavedSo) {
  const std::string opener = Path("bin/xdg-open");
  test::WriteFileText(opener, "");
  Fake.Environment.Programs["xdg-open"] = opener;
  Fake.Settings.SetValue(kKey, "FileViewer", std::string("/no/such/viewer"));
  TAppInfo info(App, kScreen);
  info.LoadSettings();
  EXPECT_EQ(info.FileViewer, opener);
  ASSERT_TRUE(info.SaveSettings(false));
  EXPECT_EQ(Fake.Settings.Value(kKey, "FileViewer"), TSettingValue(opener));

  Fake.Environment.Programs.clear();
  info.LoadSettings();
  EXPECT_EQ(info.FileViewer, opener) << "the opener itself is a file that exists";
  info.SetFileViewer("/no/such/viewer");
  EXPECT_EQ(info.FileViewer, "");
}

TEST_F(AppInfoTest, ValuesMissingOfAnotherTypeOrOutOfRangeTakeTheirDefaults) {
  Fake.Settings.SetValue(kKey, "DefCompressLevel", std::string("9"));
  Fake.Settings.SetValue(kKey, "ViewStyle", u32{7});
  Fake.Settings.SetValue(kKey, "Encryption", u32{3});
  Fake.Settings.SetValue(kKey, "HSplitterPos", u32{0xFFFFFFFF});
  Fake.Settings.SetValue(kKey, "VSplitterPos", u32{250});
  Fake.Settings.SetValue(kKey, "GridLines", u32{5});
  Fake.Settings.SetValue(kKey, "AntiVirus", u32{1});
  Fake.Settings.SetValue(kKey, "MainFormPlacement", std::vector<u8>(16, 1));
  TAppInfo info(App, kScreen);
  info.LoadSettings();
  EXPECT_EQ(info.DefCompressLevel, 6);
  EXPECT_EQ(info.ViewStyle, 3);
  EXPECT_EQ(info.Encryption, 0);
  EXPECT_EQ(info.HSplitterPos, 233);
  EXPECT_EQ(info.VSplitterPos, 250);
  EXPECT_TRUE(info.GridLines);
  EXPECT_TRUE(info.MainToolBar);
  EXPECT_EQ(info.AntiVirus, "");
  EXPECT_EQ(info.MainFormPlacement, TAppInfo::DefaultPlacement(kScreen));
}

TEST(FormPlacement, IsSeventeenLittleEndianBytes) {
  const TFormPlacement placement{{-8, 0x01020304, 610, 450}, TWindowState::wsMaximized};
  const auto bytes = placement.Encode();
  const std::array<u8, 17> expected{0xF8, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x62,
                                    0x02, 0x00, 0x00, 0xC2, 0x01, 0x00, 0x00, 0x02};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(TFormPlacement::Decode(bytes), placement);
  const std::vector<u8> all(bytes.begin(), bytes.end());
  EXPECT_FALSE(TFormPlacement::Decode(std::span(all).first(16)));
  auto longer = all;
  longer.push_back(0);
  EXPECT_FALSE(TFormPlacement::Decode(longer));
  auto zeroWidth = all;
  std::fill(zeroWidth.begin() + 8, zeroWidth.begin() + 12, 0);
  EXPECT_FALSE(TFormPlacement::Decode(zeroWidth));
  auto minimized = all;
  minimized[16] = 1;
  EXPECT_EQ(TFormPlacement::Decode(minimized)->State, TWindowState::wsNormal);
}

// ---------------------------------------------------------------- temporary files

TEST_F(AppInfoTest, CleanupNeverSignalsViewersAndLeavesTheirFilesForTheNextStart) {
  const std::string first = Path("tmp/view one, a.txt");
  const std::string second = Path("tmp/b.bin");
  const std::string third = Path("tmp/c.doc");
  for (const auto& f : {first, second, third}) test::WriteFileText(f, "x");
  const int running = Fake.Processes.Start({"viewer", {first}});
  const int ended = Fake.Processes.Start({"viewer", {third}});
  Fake.Processes.Exit(ended);
  {
    TAppInfo info(App, kScreen);
    info.AddTempFile(running, first);
    info.AddTempFile(0, second);
    info.AddTempFile(ended, third);
    EXPECT_EQ(info.TempFiles[0], std::to_string(running) + ",\"" + first + "\"");

    info.CleanupTempFiles();
    EXPECT_TRUE(Fake.Processes.Terminated.empty());
    EXPECT_TRUE(Fake.Processes.IsRunning(running));
    EXPECT_TRUE(test::FileExists(first));
    EXPECT_FALSE(test::FileExists(second));
    EXPECT_FALSE(test::FileExists(third));
    EXPECT_TRUE(info.TempFiles.empty());
  }
  const std::string pendingKey = TAppInfo::PendingDeletionKey(Globals.AppKey);
  ASSERT_EQ(Fake.Settings.ValueNames(pendingKey).size(), 1u);
  TAppInfo next(App, kScreen);
  next.LoadSettings();
  EXPECT_FALSE(test::FileExists(first));
  EXPECT_TRUE(Fake.Settings.ValueNames(pendingKey).empty());
}

TEST_F(AppInfoTest, EveryFileThatCannotBeDeletedWaitsForTheNextStart) {
  // A folder stands where each file should be, so unlinking it fails.
  const std::string first = Path("tmp/locked one");
  const std::string second = Path("tmp/locked two");
  test::MakeFolders(first);
  test::MakeFolders(second);
  {
    TAppInfo info(App, kScreen);
    info.AddTempFile(0, first);
    info.AddTempFile(0, second);
  }  // the destructor cleans up
  const std::string pendingKey = TAppInfo::PendingDeletionKey(Globals.AppKey);
  ASSERT_EQ(Fake.Settings.ValueNames(pendingKey).size(), 2u);

  std::filesystem::remove(first);
  std::filesystem::remove(second);
  test::WriteFileText(first, "now a file");
  test::WriteFileText(second, "now a file");
  TAppInfo next(App, kScreen);
  next.LoadSettings();
  EXPECT_FALSE(test::FileExists(first));
  EXPECT_FALSE(test::FileExists(second));
  EXPECT_TRUE(Fake.Settings.ValueNames(pendingKey).empty());
}

}  // namespace
}  // namespace vz
