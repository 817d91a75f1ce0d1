// Conversion between UTF-8, the in-memory form of every name that has a
// known character set, and the code pages archives store names in: code
// page 437, the OEM code page of DOS-era archives, with a table of its own,
// and any other character set through the C library's iconv.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vz {

// Every byte of a CP437 string decoded to UTF-8 (bytes below 0x80 unchanged).
std::string OemToUtf8(std::string_view oem);

// The CP437 form of a UTF-8 string, or nullopt when some character has no
// CP437 equivalent or the text is not valid UTF-8.
std::optional<std::string> Utf8ToOem(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

// One step through UTF-8: the character at `pos` and its length in bytes. A
// byte that does not start a valid sequence (malformed, overlong, surrogate)
// comes back alone, flagged.
struct TUtf8Step {
  char32_t Char = 0;
  std::size_t Length = 1;
  bool Valid = false;
};
TUtf8Step NextUtf8(std::string_view text, std::size_t pos);
void AppendUtf8(std::string& out, char32_t c);

// Text in one character set that iconv knows ("CP866", "CP932", "GBK",
// ...) decoded to UTF-8. Move-only: it owns its conversion descriptor.
class TCharsetDecoder {
 public:
  // nullopt when iconv knows no such character set.
  static std::optional<TCharsetDecoder> Open(const std::string& charset);

  const std::string& Charset() const { return FCharset; }
  // nullopt when some byte sequence is not a character of the set: the
  // caller keeps the bytes instead of a text with holes in it.
  std::optional<std::string> ToUtf8(std::string_view bytes) const;

 private:
  struct TClose {
    void operator()(void* handle) const;
  };
  TCharsetDecoder(std::string charset, void* handle)
      : FCharset(std::move(charset)), FHandle(handle) {}

  std::string FCharset;
  std::unique_ptr<void, TClose> FHandle;  // iconv_t
};

}  // namespace vz
