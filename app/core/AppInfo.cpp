#include "app/core/AppInfo.h"

#include <limits>

#include "app/core/AppErrors.h"
#include "app/core/CommaText.h"
#include "app/core/ViewerFiles.h"
#include "engine/format/ByteOrder.h"

namespace vz {
namespace {

constexpr char kPendingValuePrefix[] = "Delete TempFile ";

// A DWORD as a count in [low, high], else the default.
int InRange(std::optional<u32> value, int low, int high, int fallback) {
  if (!value) return fallback;
  const auto signedValue = static_cast<i32>(*value);
  return signedValue >= low && signedValue <= high ? signedValue : fallback;
}

bool AsBool(std::optional<u32> value, bool fallback) {
  return value ? *value != 0 : fallback;
}

}  // namespace

// ---------------------------------------------------------------- placement

std::array<u8, TFormPlacement::kBytes> TFormPlacement::Encode() const {
  std::array<u8, kBytes> bytes{};
  PutLE32(bytes, 0, static_cast<u32>(Bounds.Left));
  PutLE32(bytes, 4, static_cast<u32>(Bounds.Top));
  PutLE32(bytes, 8, static_cast<u32>(Bounds.Width));
  PutLE32(bytes, 12, static_cast<u32>(Bounds.Height));
  bytes[16] = static_cast<u8>(State);
  return bytes;
}

std::optional<TFormPlacement> TFormPlacement::Decode(std::span<const u8> bytes) {
  if (bytes.size() != kBytes) return std::nullopt;
  const auto field = [&](std::size_t at) { return static_cast<i32>(GetLE32(bytes, at)); };
  TFormPlacement placement;
  placement.Bounds = {field(0), field(4), field(8), field(12)};
  if (placement.Bounds.Width <= 0 || placement.Bounds.Height <= 0) return std::nullopt;
  placement.State = bytes[16] == static_cast<u8>(TWindowState::wsMaximized)
                        ? TWindowState::wsMaximized
                        : TWindowState::wsNormal;
  return placement;
}

// ---------------------------------------------------------------- settings

TAppInfo::TAppInfo(const TAppContext& app, TScreenSize screen)
    : MainFormPlacement(DefaultPlacement(screen)), FApp(app), FScreen(screen) {}

TAppInfo::~TAppInfo() {
  try {
    CleanupTempFiles();
  } catch (...) {
    // Nothing can be reported at program end; the files stay behind.
  }
}

TFormPlacement TAppInfo::DefaultPlacement(TScreenSize screen) {
  constexpr int kWidth = 610;
  constexpr int kHeight = 450;
  TFormPlacement placement;
  placement.Bounds = {screen.Width / 2 - kWidth / 2, screen.Height / 2 - kHeight / 2, kWidth,
                      kHeight};
  return placement;
}

void TAppInfo::SetDefaults() {
  AutoScan = false;
  AntiVirus.clear();
  AVParameters.clear();
  DefCompressLevel = 6;
  Encryption = 0;
  FileViewer.clear();
  HSplitterPos = 233;
  PasswordChar = false;
  GridLines = false;
  MainToolBar = true;
  RunMinimized = false;
  ViewStyle = 3;
  VSplitterPos = 193;
  MainFormPlacement = DefaultPlacement(FScreen);
}

void TAppInfo::LoadSettings() {
  ProcessPendingDeletions();
  auto key = FApp.Platform.Settings.OpenKey(SettingsKeyOf(FApp.Globals.AppKey), false);
  SetDefaults();
  if (key == nullptr) return;
  ReadValues(*key);
  key->Close();
}

void TAppInfo::ReadValues(ISettingsKey& key) {
  constexpr int kMaxPos = std::numeric_limits<i32>::max();
  AutoScan = AsBool(key.ReadDword("AutoScan"), false);
  AntiVirus = key.ReadString("AntiVirus").value_or("");
  AVParameters = key.ReadString("AVParameters").value_or("");
  DefCompressLevel = InRange(key.ReadDword("DefCompressLevel"), 0, 9, 6);
  Encryption = InRange(key.ReadDword("Encryption"), 0, 2, 0);
  SetFileViewer(key.ReadString("FileViewer").value_or(""));
  HSplitterPos = InRange(key.ReadDword("HSplitterPos"), 0, kMaxPos, 233);
  GridLines = AsBool(key.ReadDword("GridLines"), false);
  MainToolBar = AsBool(key.ReadDword("MainToolBar"), true);
  PasswordChar = AsBool(key.ReadDword("PasswordChar"), false);
  RunMinimized = AsBool(key.ReadDword("RunMinimized"), false);
  ViewStyle = InRange(key.ReadDword("ViewStyle"), 0, 3, 3);
  VSplitterPos = InRange(key.ReadDword("VSplitterPos"), 0, kMaxPos, 193);
  const auto placement = key.ReadBinary("MainFormPlacement");
  MainFormPlacement = (placement ? TFormPlacement::Decode(*placement) : std::nullopt)
                          .value_or(DefaultPlacement(FScreen));
}

bool TAppInfo::SaveSettings(bool OptionsOnly) {
  auto key = FApp.Platform.Settings.OpenKey(SettingsKeyOf(FApp.Globals.AppKey), true);
  if (key == nullptr) return false;
  const auto dword = [](int v) { return TSettingValue(static_cast<u32>(v)); };
  if (!OptionsOnly) {
    key->Write("FileViewer", FileViewer);
    key->Write("HSplitterPos", dword(HSplitterPos));
    key->Write("GridLines", dword(GridLines));
    key->Write("MainToolBar", dword(MainToolBar));
    key->Write("ViewStyle", dword(ViewStyle));
    key->Write("Encryption", dword(Encryption));
    key->Write("VSplitterPos", dword(VSplitterPos));
    const auto placement = MainFormPlacement.Encode();
    key->Write("MainFormPlacement", std::vector<u8>(placement.begin(), placement.end()));
  }
  key->Write("AutoScan", dword(AutoScan));
  key->Write("AntiVirus", AntiVirus);
  key->Write("AVParameters", AVParameters);
  key->Write("DefCompressLevel", dword(DefCompressLevel));
  key->Write("PasswordChar", dword(PasswordChar));
  key->Write("RunMinimized", dword(RunMinimized));
  return key->Close();
}

void TAppInfo::SetFileViewer(const std::string& Path) {
  IFileSystem& files = FApp.Platform.Files;
  const auto isFile = [&files](const std::string& path) {
    const auto info = path.empty() ? std::nullopt : files.Stat(path);
    return info && info->IsRegular;
  };
  if (isFile(Path)) {
    FileViewer = Path;
    return;
  }
  const std::string opener = FApp.Platform.Environment.FindProgram("xdg-open");
  FileViewer = isFile(opener) ? opener : std::string();
}

// ---------------------------------------------------------------- placement

void TAppInfo::StoreFormPlacement(const IFormGeometry& Form) {
  const TWindowState state = Form.WindowState();
  if (state == TWindowState::wsNormal) MainFormPlacement.Bounds = Form.Bounds();
  MainFormPlacement.State = state == TWindowState::wsMinimized ? TWindowState::wsNormal : state;
}

void TAppInfo::ApplyFormPlacement(IFormGeometry& Form) const {
  Form.SetBounds(MainFormPlacement.Bounds);
  Form.SetWindowState(MainFormPlacement.State);
}

// ---------------------------------------------------------------- temporary files

void TAppInfo::AddTempFile(int processId, const std::string& path) {
  TempFiles.push_back(JoinCommaText({std::to_string(processId), path}));
}

void TAppInfo::CleanupTempFiles() {
  IFileSystem& files = FApp.Platform.Files;
  IProcesses& processes = FApp.Platform.Processes;
  for (const auto& entry : TempFiles) {
    const auto fields = SplitCommaText(entry);
    if (fields.size() < 2 || fields[1].empty()) continue;
    int processId = 0;
    try {
      processId = StrToInt(fields[0]);
    } catch (const EVarnelError&) {
      processId = 0;
    }
    // A viewer that still runs keeps its file, and is never signalled: an
    // editor may hold unsaved work, and the id may since belong to another
    // program. The file goes at the next start.
    const std::string& path = fields[1];
    if ((processId != 0 && processes.IsRunning(processId)) || !RemoveViewedFile(files, path)) {
      DeferDeletion(path);
    }
  }
  TempFiles.clear();
}

std::string TAppInfo::PendingDeletionKey(const std::string& appKey) {
  return SettingsKeyOf(appKey) + "\\PendingDeletions";
}

// Every failed file gets a value of its own, so none is forgotten.
void TAppInfo::DeferDeletion(const std::string& path) {
  auto key = FApp.Platform.Settings.OpenKey(PendingDeletionKey(FApp.Globals.AppKey), true);
  if (key == nullptr) return;
  const auto names = key->ValueNames();
  for (std::size_t n = names.size() + 1;; ++n) {
    const std::string name = kPendingValuePrefix + std::to_string(n);
    if (!key->Read(name)) {
      key->Write(name, path);
      break;
    }
  }
  key->Close();
}

void TAppInfo::ProcessPendingDeletions() {
  auto key = FApp.Platform.Settings.OpenKey(PendingDeletionKey(FApp.Globals.AppKey), false);
  if (key == nullptr) return;
  for (const auto& name : key->ValueNames()) {
    if (const auto path = key->ReadString(name); path && !path->empty()) {
      RemoveViewedFile(FApp.Platform.Files, *path);
    }
    key->DeleteValue(name);
  }
  key->Close();
}

}  // namespace vz
