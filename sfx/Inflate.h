// The stub's own deflate decoder (RFC 1951). It pulls compressed bytes from
// an input callback and pushes every filled 32768-byte window to an output
// callback; a damaged stream, missing input or output past the limit ends it
// early with a result, never reads or writes outside its tables and window.
#pragma once

#include <cstddef>
#include <span>

#include "sfx/SfxTypes.h"

namespace sfx {

struct TInflateInput {
  void* Context = nullptr;
  // Fills the buffer from the start; returns the bytes given, 0 at the end.
  std::size_t (*Fill)(void* context, std::span<u8> buffer) = nullptr;
};

struct TInflateOutput {
  void* Context = nullptr;
  // Takes decoded bytes; false stops the decoder.
  bool (*Write)(void* context, std::span<const u8> data) = nullptr;
};

enum class TInflateResult : u8 {
  Done = 0,          // the last block ended and all output was written
  BadData = 1,       // invalid block type, code set, code or distance
  InputEnded = 2,    // the stream needed bytes that the input no longer had
  OutputFailed = 3,  // the output callback refused the bytes
  TooLarge = 4,      // the stream decodes to more than the output limit
};

// Decodes one stream. Nothing beyond outputLimit bytes reaches the output.
TInflateResult Inflate(TInflateInput input, TInflateOutput output, u64 outputLimit);

}  // namespace sfx
