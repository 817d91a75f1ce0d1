// Root of every exception the system throws, and the file errors of the
// platform layer. Each exception carries the exact message the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace vz {

class EVarnelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A system call on a file failed. Message() is "<path>: <system text>", the
// form every front end prints; Code() is the errno value.
class EFileError : public EVarnelError {
 public:
  EFileError(std::string path, int code, const std::string& what)
      : EVarnelError(what), FPath(std::move(path)), FCode(code) {}
  const std::string& Path() const { return FPath; }
  int Code() const { return FCode; }

 private:
  std::string FPath;
  int FCode;
};

// Opening an existing file failed.
class EFOpenError : public EFileError {
 public:
  using EFileError::EFileError;
};

// Creating a file failed.
class EFCreateError : public EFileError {
 public:
  using EFileError::EFileError;
};

// Reading, writing or positioning an open file failed (including a full disk).
class EInOutError : public EFileError {
 public:
  using EFileError::EFileError;
};

// The system's own text for an errno value.
std::string SystemErrorText(int code);

// "<path>: <system text for code>".
std::string FileErrorMessage(const std::string& path, int code);

}  // namespace vz
