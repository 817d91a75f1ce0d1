// The user's settings, shaped like a registry: keys (paths such
// as "Software\Varnel\Zip") holding named, typed values. Names of keys and
// values compare without regard to ASCII letter case, as the registry's do.
//
// A key collects its writes and hands them to the store in one batch when it
// is closed, so a store kept in a file is rewritten once per save, atomically.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Types.h"

namespace vz {

// The registry's value types: DWORD, string, binary, and the floating-point
// day number that dates are kept as.
using TSettingValue = std::variant<u32, std::string, std::vector<u8>, double>;

class ISettingsKey {
 public:
  virtual ~ISettingsKey() = default;

  // nullopt when the value is absent or is of a kind this build cannot read.
  virtual std::optional<TSettingValue> Read(const std::string& name) = 0;
  // Every value name of the key, including values written through this key.
  virtual std::vector<std::string> ValueNames() = 0;
  // Seen by Read on this key at once, by the store after Close. Throws
  // std::invalid_argument for a name IsValidSettingName refuses.
  virtual void Write(const std::string& name, const TSettingValue& value) = 0;
  virtual void DeleteValue(const std::string& name) = 0;
  // Hands the writes to the store. False when the store could not keep them;
  // then none of them is kept. Closing again does nothing and answers true.
  // Destroying an open key closes it and ignores the answer.
  virtual bool Close() = 0;

  // Typed reads: nullopt when the value is absent or of another type.
  std::optional<u32> ReadDword(const std::string& name);
  std::optional<std::string> ReadString(const std::string& name);
  std::optional<std::vector<u8>> ReadBinary(const std::string& name);
  std::optional<double> ReadFloat(const std::string& name);
};

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;
  // nullptr when the key does not exist and `create` is false, or when the
  // store cannot be read (or, with `create`, cannot be made).
  virtual std::unique_ptr<ISettingsKey> OpenKey(const std::string& key, bool create) = 0;
};

// Names of keys and values: not empty, no control characters, none of
// "=[]", no blank at either end.
bool IsValidSettingName(std::string_view name);
bool SameSettingName(std::string_view a, std::string_view b);

// The shared part of every key: the values as read when it was opened, the
// writes made since, and their hand-over at Close. Implementations supply
// Commit and call CloseQuietly from their destructor (a base destructor
// cannot reach the derived Commit).
class TBufferedSettingsKey : public ISettingsKey {
 public:
  // nullopt: the value is there but of a kind that cannot be read.
  using TValues = std::vector<std::pair<std::string, std::optional<TSettingValue>>>;
  // A write (Value set) or a deletion (Value nullopt), in call order.
  struct TChange {
    std::string Name;
    std::optional<TSettingValue> Value;
  };

  TBufferedSettingsKey(TValues values, bool keyIsNew)
      : FValues(std::move(values)), FKeyIsNew(keyIsNew) {}

  std::optional<TSettingValue> Read(const std::string& name) override;
  std::vector<std::string> ValueNames() override;
  void Write(const std::string& name, const TSettingValue& value) override;
  void DeleteValue(const std::string& name) override;
  bool Close() final;

 protected:
  // Applies the changes to the store; `createKey` when the key is new.
  virtual bool Commit(const std::vector<TChange>& changes, bool createKey) = 0;
  void CloseQuietly() noexcept;

 private:
  TValues FValues;
  std::vector<TChange> FChanges;
  bool FKeyIsNew;
  bool FClosed = false;
};

}  // namespace vz
