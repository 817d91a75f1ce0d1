// TAppInfo: the user's settings of the windowed program, kept in the settings
// store under "Software\" + AppKey, one value per field, named after it.
//
// Life: built at program start with defaults, LoadSettings while the main
// window is made, fields changed by the window while it runs, then
// StoreFormPlacement and SaveSettings(false) when it closes (SaveSettings(true)
// after each confirmed options dialog). Destruction removes the temporary
// files handed to viewers; the services it was built with must outlive it.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/core/AppGlobals.h"

namespace vz {

enum class TWindowState : u8 { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

struct TFormBounds {
  i32 Left = 0;
  i32 Top = 0;
  i32 Width = 0;
  i32 Height = 0;
  friend bool operator==(const TFormBounds&, const TFormBounds&) = default;
};

// The main window's normal-state bounds and state, stored as exactly 17
// bytes: Left, Top, Width, Height (signed 32-bit little-endian), then the
// state byte (0 normal, 2 maximized; minimized is never stored).
struct TFormPlacement {
  static constexpr std::size_t kBytes = 17;
  TFormBounds Bounds;
  TWindowState State = TWindowState::wsNormal;

  std::array<u8, kBytes> Encode() const;
  // nullopt unless exactly 17 bytes with a positive width and height; a
  // state byte other than 2 reads as normal.
  static std::optional<TFormPlacement> Decode(std::span<const u8> bytes);
  friend bool operator==(const TFormPlacement&, const TFormPlacement&) = default;
};

// What the settings need from the main window; the windowed program
// implements it over its real window.
class IFormGeometry {
 public:
  virtual ~IFormGeometry() = default;
  virtual TWindowState WindowState() const = 0;
  // Bounds of the window in its normal state.
  virtual TFormBounds Bounds() const = 0;
  virtual void SetBounds(const TFormBounds& bounds) = 0;
  virtual void SetWindowState(TWindowState state) = 0;
};

struct TScreenSize {
  int Width = 1024;
  int Height = 768;
};

class TAppInfo {
 public:
  // Fields at their defaults (the placement centred on `screen`); nothing is
  // loaded here.
  TAppInfo(const TAppContext& app, TScreenSize screen);
  ~TAppInfo();
  TAppInfo(const TAppInfo&) = delete;
  TAppInfo& operator=(const TAppInfo&) = delete;

  bool AutoScan = false;
  std::string AntiVirus;
  std::string AVParameters;
  int DefCompressLevel = 6;
  // The cipher last chosen for a password: 0 traditional, 1 AES-128, 2
  // AES-256 (TZipEncryption's values).
  int Encryption = 0;
  std::string FileViewer;
  int HSplitterPos = 233;
  bool PasswordChar = false;
  bool GridLines = false;
  bool MainToolBar = true;
  bool RunMinimized = false;
  int ViewStyle = 3;  // 0 large icons, 1 small icons, 2 list, 3 details
  int VSplitterPos = 193;
  TFormPlacement MainFormPlacement;
  // "<viewer process id>,<path>" per temporary file, as comma text.
  std::vector<std::string> TempFiles;

  // First deletes the files an earlier run left pending, then reads every
  // value. With no key (first run) the defaults are set. A value that is
  // missing, of another type or out of range takes its default; a missing
  // FileViewer reads as empty, so the desktop's opener is taken.
  void LoadSettings();
  // Writes everything, or with `OptionsOnly` the six values of the options
  // dialog (AutoScan, AntiVirus, AVParameters, DefCompressLevel,
  // PasswordChar, RunMinimized). False, silently, when the store cannot be
  // opened or written; nothing is written then.
  bool SaveSettings(bool OptionsOnly);
  void SetDefaults();
  // `Path` when a file is there; else the desktop's opener (xdg-open on
  // PATH); else empty.
  void SetFileViewer(const std::string& Path);
  // Bounds are copied only from a window in the normal state, so a
  // maximized or minimized window keeps the last normal bounds; minimized is
  // stored as normal.
  void StoreFormPlacement(const IFormGeometry& Form);
  // Bounds in one call, then the state.
  void ApplyFormPlacement(IFormGeometry& Form) const;
  // For each temporary file in list order: when its viewer has ended (or
  // none was started) removes the file with its member folder
  // (RemoveViewedFile); a file whose viewer still runs, or that cannot be
  // removed, goes into the pending-deletion list for the next start. No
  // viewer is ever signalled. Then empties TempFiles.
  void CleanupTempFiles();

  // Records a temporary file handed to a viewer (process id 0: none started).
  void AddTempFile(int processId, const std::string& path);
  // Removes the files of the pending-deletion list (with their member
  // folders) and empties it.
  void ProcessPendingDeletions();

  // The key holding the pending deletions, below the program's key.
  static std::string PendingDeletionKey(const std::string& appKey);
  static TFormPlacement DefaultPlacement(TScreenSize screen);

 private:
  void ReadValues(ISettingsKey& key);
  void DeferDeletion(const std::string& path);

  TAppContext FApp;
  TScreenSize FScreen;
};

}  // namespace vz
