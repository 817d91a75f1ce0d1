// The terminal side of the stub: output without stdio, and line input from
// standard input, with echo off for passwords when it is a terminal. When
// standard input is not a terminal the dialogs read their scripted answers
// through the same calls.
#pragma once

#include <initializer_list>
#include <string_view>

#include "sfx/SfxTypes.h"

namespace sfx {

enum class TLineResult : u8 {
  Line = 0,        // a line (without its "\n" or "\r\n")
  Overlong = 1,    // a line longer than the buffer; it was read to its end and dropped
  EndOfInput = 2,  // nothing more to read
};

class TConsole {
 public:
  // Looks at standard input once: a terminal gets the interactive forms.
  TConsole();

  bool Interactive() const { return FInteractive; }

  void Out(std::initializer_list<std::string_view> parts) const;
  void Err(std::initializer_list<std::string_view> parts) const;

  // Reads one line into buffer (zero-terminated; an overlong line keeps its
  // first capacity - 1 bytes); secret turns echo off while a terminal is read.
  TLineResult ReadLine(char* buffer, std::size_t capacity, std::size_t& length, bool secret) const;

  template <std::size_t N>
  TLineResult ReadLine(TFixedText<N>& line, bool secret = false) const {
    std::size_t length = 0;
    const TLineResult result = ReadLine(line.Data(), N, length, secret);
    line.AdoptLength(length);
    return result;
  }

 private:
  bool FInteractive = false;
};

// The decimal digits of a number, in the caller's 21-byte buffer.
std::string_view FormatDecimal(u64 value, char (&buffer)[21]);

}  // namespace sfx
