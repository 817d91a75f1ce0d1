#include "platform/fake/FakeServices.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "platform/FileHelpers.h"

namespace vz {

// ---------------------------------------------------------------- environment

std::string TFakeEnvironment::FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    const auto info = Files != nullptr ? Files->Stat(name) : std::nullopt;
    return info && info->IsRegular ? name : std::string();
  }
  const auto it = Programs.find(name);
  return it != Programs.end() ? it->second : std::string();
}

// ---------------------------------------------------------------- settings

namespace {

class TFakeKey : public TBufferedSettingsKey {
 public:
  TFakeKey(TFakeSettingsStore& store, std::string key, TValues values, bool keyIsNew)
      : TBufferedSettingsKey(std::move(values), keyIsNew), FStore(store), FKey(std::move(key)) {}
  ~TFakeKey() override { CloseQuietly(); }

 protected:
  bool Commit(const std::vector<TChange>& changes, bool) override {
    return FStore.Apply(FKey, changes);
  }

 private:
  TFakeSettingsStore& FStore;
  std::string FKey;
};

}  // namespace

std::unique_ptr<ISettingsKey> TFakeSettingsStore::OpenKey(const std::string& key, bool create) {
  if (!IsValidSettingName(key)) throw std::invalid_argument("invalid settings key: " + key);
  Opened.push_back({key, create});
  if (FailOpen) return nullptr;
  const TKey* found = Find(key);
  if (found == nullptr && !create) return nullptr;
  TBufferedSettingsKey::TValues values;
  if (found != nullptr) {
    for (const auto& [name, value] : found->Values) values.emplace_back(name, value);
  }
  return std::make_unique<TFakeKey>(*this, found != nullptr ? found->Name : key, std::move(values),
                                    found == nullptr);
}

bool TFakeSettingsStore::Apply(const std::string& key,
                               const std::vector<TBufferedSettingsKey::TChange>& changes) {
  if (FailWrites) return false;
  TKey* target = Find(key);
  if (target == nullptr) target = &FKeys.emplace_back(TKey{key, {}});
  for (const auto& change : changes) {
    auto& values = target->Values;
    const auto it = std::find_if(values.begin(), values.end(), [&](const auto& entry) {
      return SameSettingName(entry.first, change.Name);
    });
    if (!change.Value) {
      if (it != values.end()) values.erase(it);
      continue;
    }
    if (it != values.end()) {
      it->second = *change.Value;
    } else {
      values.emplace_back(change.Name, *change.Value);
    }
    Written.push_back({key, change.Name, *change.Value});
  }
  return true;
}

TFakeSettingsStore::TKey* TFakeSettingsStore::Find(const std::string& key) {
  for (auto& k : FKeys) {
    if (SameSettingName(k.Name, key)) return &k;
  }
  return nullptr;
}

const TFakeSettingsStore::TKey* TFakeSettingsStore::Find(const std::string& key) const {
  return const_cast<TFakeSettingsStore*>(this)->Find(key);
}

bool TFakeSettingsStore::HasKey(const std::string& key) const {
  return Find(key) != nullptr;
}

std::optional<TSettingValue> TFakeSettingsStore::Value(const std::string& key,
                                                       const std::string& name) const {
  if (const TKey* k = Find(key)) {
    for (const auto& [valueName, value] : k->Values) {
      if (SameSettingName(valueName, name)) return value;
    }
  }
  return std::nullopt;
}

std::vector<std::string> TFakeSettingsStore::ValueNames(const std::string& key) const {
  std::vector<std::string> names;
  if (const TKey* k = Find(key)) {
    for (const auto& entry : k->Values) names.push_back(entry.first);
  }
  return names;
}

void TFakeSettingsStore::SetValue(const std::string& key, const std::string& name,
                                  TSettingValue value) {
  TKey* target = Find(key);
  if (target == nullptr) target = &FKeys.emplace_back(TKey{key, {}});
  for (auto& entry : target->Values) {
    if (SameSettingName(entry.first, name)) {
      entry.second = std::move(value);
      return;
    }
  }
  target->Values.emplace_back(name, std::move(value));
}

void TFakeSettingsStore::RemoveKey(const std::string& key) {
  std::erase_if(FKeys, [&](const TKey& k) { return SameSettingName(k.Name, key); });
}

// ---------------------------------------------------------------- processes

int TFakeProcesses::Start(const TCommand& command) {
  if (FailStart != 0) {
    FLastError = FailStart;
    Started.push_back({command, false, 0});
    return 0;
  }
  const int pid = NextProcessId++;
  Started.push_back({command, false, pid});
  Running.insert(pid);
  return pid;
}

bool TFakeProcesses::RunAndWait(const TCommand& command, int& exitCode) {
  if (FailStart != 0) {
    FLastError = FailStart;
    Started.push_back({command, true, 0});
    return false;
  }
  Started.push_back({command, true, NextProcessId++});
  exitCode = ExitCode;
  return true;
}

bool TFakeProcesses::Terminate(int processId) {
  if (Running.erase(processId) == 0) return false;
  Terminated.push_back(processId);
  return true;
}

// ---------------------------------------------------------------- shell

bool TFakeShell::MoveToTrash(const std::vector<std::string>& paths) {
  TrashCalls.push_back(paths);
  if (FailTrash != 0) {
    FLastError = FailTrash;
    return false;
  }
  ForceFolders(FFiles, TrashFolder);
  for (const auto& path : paths) {
    std::string target = TrashFolder + FileNameOf(path);
    for (int n = 2; FFiles.LStat(target); ++n) {
      target = TrashFolder + FileNameOf(path) + "." + std::to_string(n);
    }
    if (!FFiles.LStat(path) || !FFiles.RenameFile(path, target)) {
      FLastError = FFiles.LStat(path) ? FFiles.LastError() : ENOENT;
      return false;
    }
    Trashed.push_back(path);
  }
  return true;
}

bool TFakeShell::OpenDocument(const std::string& path) {
  if (FailOpen != 0) {
    FLastError = FailOpen;
    return false;
  }
  Opened.push_back(path);
  return true;
}

// ---------------------------------------------------------------- mail

int TFakeMail::Send(const TMailMessage& message) {
  Sent.push_back(message);
  return Result;
}

int TFakeMail::Save(const TMailMessage& message, std::string& messageId) {
  Saved.push_back(message);
  SavedIds.push_back(messageId);
  messageId = "fake-draft-" + std::to_string(Saved.size());
  return Result;
}

}  // namespace vz
