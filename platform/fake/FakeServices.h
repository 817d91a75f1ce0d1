// The fake's desktop services: an environment whose folders lie in the
// scratch folder, a settings store in memory, processes that are only
// recorded, a trash folder of its own and a mail service that keeps what it
// was given. Each records what it was asked and can be told to fail.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Mail.h"
#include "platform/Processes.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

namespace vz {

class TFakeEnvironment : public IEnvironment {
 public:
  std::string ProgramFile() override { return ProgramPath; }
  std::string UserDataFolder() override { return DataFolder; }
  std::string UserConfigFolder() override { return ConfigFolder; }
  // Programs[name] when present, else empty (a full path is answered as is
  // when a file is there).
  std::string FindProgram(const std::string& name) override;

  std::string ProgramPath;   // set by TFakePlatform: <root>/bin/zip
  std::string DataFolder;    // <root>/data/
  std::string ConfigFolder;  // <root>/config/
  std::map<std::string, std::string> Programs;
  IFileSystem* Files = nullptr;  // for checking full paths
};

// Keys and values in memory. Values written through a key reach the store at
// Close, as with the real store.
class TFakeSettingsStore : public ISettingsStore {
 public:
  std::unique_ptr<ISettingsKey> OpenKey(const std::string& key, bool create) override;

  // ---- fault injection ----
  bool FailOpen = false;    // every OpenKey answers nullptr
  bool FailWrites = false;  // Close of a key with changes fails, keeping nothing

  // ---- records ----
  struct TOpen {
    std::string Key;
    bool Create = false;
  };
  std::vector<TOpen> Opened;
  struct TWrite {
    std::string Key;
    std::string Name;
    TSettingValue Value;
  };
  std::vector<TWrite> Written;  // kept writes, in order

  // ---- contents ----
  bool HasKey(const std::string& key) const;
  std::optional<TSettingValue> Value(const std::string& key, const std::string& name) const;
  std::vector<std::string> ValueNames(const std::string& key) const;
  void SetValue(const std::string& key, const std::string& name, TSettingValue value);
  void RemoveKey(const std::string& key);

  // Used by the fake's keys.
  bool Apply(const std::string& key, const std::vector<TBufferedSettingsKey::TChange>& changes);

 private:
  struct TKey {
    std::string Name;
    std::vector<std::pair<std::string, TSettingValue>> Values;
  };
  TKey* Find(const std::string& key);
  const TKey* Find(const std::string& key) const;
  std::vector<TKey> FKeys;
};

// Nothing runs: Start hands out made-up process ids, which count as running
// until Terminate or Exit; RunAndWait answers ExitCode.
class TFakeProcesses : public IProcesses {
 public:
  int Start(const TCommand& command) override;
  bool RunAndWait(const TCommand& command, int& exitCode) override;
  bool IsRunning(int processId) override { return Running.contains(processId); }
  bool Terminate(int processId) override;
  int LastError() const override { return FLastError; }

  // Marks a started process as ended by itself.
  void Exit(int processId) { Running.erase(processId); }

  // ---- fault injection ----
  int FailStart = 0;  // errno for the next starts (Start and RunAndWait); 0: start
  int ExitCode = 0;

  // ---- records ----
  struct TStarted {
    TCommand Command;
    bool Waited = false;
    int ProcessId = 0;  // 0 when it failed to start
  };
  std::vector<TStarted> Started;
  std::vector<int> Terminated;
  std::set<int> Running;
  int NextProcessId = 4001;

 private:
  int FLastError = 0;
};

// Trashed files move into TrashFolder under a unique name.
class TFakeShell : public IShell {
 public:
  explicit TFakeShell(IFileSystem& files) : FFiles(files) {}

  bool MoveToTrash(const std::vector<std::string>& paths) override;
  bool OpenDocument(const std::string& path) override;
  int LastError() const override { return FLastError; }

  std::string TrashFolder;  // set by TFakePlatform: <root>/trash/

  // ---- fault injection ----
  int FailTrash = 0;  // errno for every MoveToTrash; 0: work
  int FailOpen = 0;

  // ---- records ----
  std::vector<std::vector<std::string>> TrashCalls;  // the paths of each call
  std::vector<std::string> Trashed;                  // every path moved
  std::vector<std::string> Opened;

 private:
  IFileSystem& FFiles;
  int FLastError = 0;
};

class TFakeMail : public IMail {
 public:
  bool Available() override { return Present; }
  int Send(const TMailMessage& message) override;
  int Save(const TMailMessage& message, std::string& messageId) override;

  bool Present = true;
  int Result = mapi::Success;  // what Send and Save answer
  std::vector<TMailMessage> Sent;
  std::vector<TMailMessage> Saved;
  std::vector<std::string> SavedIds;  // the id each Save was given
};

}  // namespace vz
