// The services a bundle gets when its builder supplies none: each refuses
// with ENOSYS. They hold no state, so sharing one instance is harmless.
#include <cerrno>

#include "platform/Platform.h"

namespace vz {
namespace {

class TNoEnvironment : public IEnvironment {
 public:
  std::string ProgramFile() override { return {}; }
  std::string UserDataFolder() override { return {}; }
  std::string UserConfigFolder() override { return {}; }
  std::string FindProgram(const std::string&) override { return {}; }
};

class TNoSettings : public ISettingsStore {
 public:
  std::unique_ptr<ISettingsKey> OpenKey(const std::string&, bool) override { return nullptr; }
};

class TNoProcesses : public IProcesses {
 public:
  int Start(const TCommand&) override { return 0; }
  bool RunAndWait(const TCommand&, int&) override { return false; }
  bool IsRunning(int) override { return false; }
  bool Terminate(int) override { return false; }
  int LastError() const override { return ENOSYS; }
};

class TNoShell : public IShell {
 public:
  bool MoveToTrash(const std::vector<std::string>&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
  int LastError() const override { return ENOSYS; }
};

class TNoMail : public IMail {
 public:
  bool Available() override { return false; }
  int Send(const TMailMessage&) override { return mapi::Failure; }
  int Save(const TMailMessage&, std::string&) override { return mapi::NotSupported; }
};

}  // namespace

IEnvironment& UnavailableEnvironment() {
  static TNoEnvironment instance;
  return instance;
}
ISettingsStore& UnavailableSettings() {
  static TNoSettings instance;
  return instance;
}
IProcesses& UnavailableProcesses() {
  static TNoProcesses instance;
  return instance;
}
IShell& UnavailableShell() {
  static TNoShell instance;
  return instance;
}
IMail& UnavailableMail() {
  static TNoMail instance;
  return instance;
}

}  // namespace vz
