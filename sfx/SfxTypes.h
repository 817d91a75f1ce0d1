// Basic types of the self-extractor stub. The stub links no C++ runtime (no
// exceptions, no operator new), so text lives in fixed buffers that refuse
// what does not fit instead of growing, and lists grow through malloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace sfx {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i64 = std::int64_t;

// A zero-terminated text of at most Capacity - 1 bytes. Append and Assign
// return false, and leave the text unchanged, when the result would not fit.
template <std::size_t Capacity>
class TFixedText {
 public:
  static_assert(Capacity > 1);

  TFixedText() { FText[0] = '\0'; }
  explicit TFixedText(std::string_view text) : TFixedText() { Assign(text); }

  [[nodiscard]] bool Assign(std::string_view text) {
    Clear();
    return Append(text);
  }
  [[nodiscard]] bool Append(std::string_view text) {
    if (text.size() > Capacity - 1 - FLength) return false;
    // An empty view may carry no pointer at all, which memcpy may not take.
    if (!text.empty()) std::memcpy(FText + FLength, text.data(), text.size());
    FLength += text.size();
    FText[FLength] = '\0';
    return true;
  }
  [[nodiscard]] bool Append(char c) { return Append(std::string_view(&c, 1)); }
  // Takes the length of text written through Data() (terminated by the writer).
  void AdoptLength(std::size_t length) {
    FLength = length < Capacity ? length : Capacity - 1;
    FText[FLength] = '\0';
  }
  void Clear() {
    FLength = 0;
    FText[0] = '\0';
  }

  std::string_view View() const { return {FText, FLength}; }
  const char* CStr() const { return FText; }
  char* Data() { return FText; }
  std::size_t Length() const { return FLength; }
  bool Empty() const { return FLength == 0; }
  static constexpr std::size_t MaxLength() { return Capacity - 1; }

 private:
  char FText[Capacity];
  std::size_t FLength = 0;
};

// A growable array of trivially copyable items on malloc/realloc. Running
// out of memory ends the program with a message (see OutOfMemory).
[[noreturn]] void OutOfMemory();

template <typename T>
class TGrowable {
 public:
  TGrowable() = default;
  TGrowable(const TGrowable&) = delete;
  TGrowable& operator=(const TGrowable&) = delete;
  ~TGrowable() { std::free(FItems); }

  void Push(const T& item) {
    if (FCount == FCapacity) Reserve(FCapacity == 0 ? 16 : FCapacity * 2);
    FItems[FCount++] = item;
  }
  void Insert(std::size_t at, const T& item) {
    Push(item);
    std::memmove(FItems + at + 1, FItems + at, (FCount - 1 - at) * sizeof(T));
    FItems[at] = item;
  }
  void Clear() { FCount = 0; }
  std::size_t Count() const { return FCount; }
  T& operator[](std::size_t i) { return FItems[i]; }
  const T& operator[](std::size_t i) const { return FItems[i]; }
  T* Data() { return FItems; }

 private:
  void Reserve(std::size_t capacity) {
    void* grown = std::realloc(FItems, capacity * sizeof(T));
    if (grown == nullptr) OutOfMemory();
    FItems = static_cast<T*>(grown);
    FCapacity = capacity;
  }

  T* FItems = nullptr;
  std::size_t FCount = 0;
  std::size_t FCapacity = 0;
};

// string_view::substr checks its position by throwing; the stub links no
// exception support, so it slices with positions it has already checked.
constexpr std::string_view Slice(std::string_view text, std::size_t from,
                                 std::size_t count = std::string_view::npos) {
  if (from > text.size()) from = text.size();
  if (count > text.size() - from) count = text.size() - from;
  return {text.data() + from, count};
}

// Little-endian fields of a record held in bytes.
constexpr u16 GetLE16(const u8* p) {
  return static_cast<u16>(p[0] | (p[1] << 8));
}
constexpr u32 GetLE32(const u8* p) {
  return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
         (static_cast<u32>(p[3]) << 24);
}
constexpr u64 GetLE64(const u8* p) {
  return static_cast<u64>(GetLE32(p)) | (static_cast<u64>(GetLE32(p + 4)) << 32);
}

}  // namespace sfx
