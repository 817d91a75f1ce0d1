// The engine's exceptions, one class per named failure, each
// carrying the exact message the user sees.
#pragma once

#include <string>

#include "platform/Errors.h"

namespace vz {

// The user stopped an operation or cancelled a prompt. Commands catch it
// without showing a message.
class EUserCanceled : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

// No end record was found and the archive is taken to be part of a set.
class EIncompleteZip : public EVarnelError {
 public:
  EIncompleteZip() : EVarnelError("Incomplete Zip File") {}
};

// The archive ended in the middle of a member's data.
class EFatalUnzipError : public EVarnelError {
 public:
  EFatalUnzipError() : EVarnelError("Premature end of file reached") {}
};

// A decoder produced more bytes than the entry's stored size; the extraction
// driver catches it and lets the CRC check decide.
class EBiggerThanUncompressed : public EVarnelError {
 public:
  EBiggerThanUncompressed() : EVarnelError("File is larger than uncompressed size!") {}
};

// A match chosen by the compressor did not compare equal to the data.
class EInvalidMatch : public EVarnelError {
 public:
  EInvalidMatch(long start, long match, long length)
      : EVarnelError("Start: " + std::to_string(start) + ", Match: " + std::to_string(match) +
                     ", Length: " + std::to_string(length)) {}
};

// The compressor found its own state inconsistent while compressing a
// member: a fault of the program, not of the data. The operation fails and
// an existing archive is left as it was.
class ECompressorFault : public EVarnelError {
 public:
  ECompressorFault(const std::string& member, const std::string& what)
      : EVarnelError(member + ": internal error in the compressor (" + what + ")") {}
};

// Errors of the sorted lists: "Index %d is out of range", "Duplicate Object
// index", "Cannot <Put> an Object in a sorted list!".
class EListError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
  static EListError IndexOutOfRange(long index) {
    return EListError("Index " + std::to_string(index) + " is out of range");
  }
};

// Failures of the buffered stream: "Seek error", "Putback overflow".
class EStreamError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

// A size, offset or count that the format's fixed-width fields cannot hold.
class EZipLimitError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

// A record whose values cannot be the archive's: a Zip64 end record past
// the file, a directory it describes running into the records after it, a
// count its directory cannot hold, a Zip64 field shorter than the values it
// must hold.
class EDamagedRecord : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

}  // namespace vz
