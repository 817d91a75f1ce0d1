// Handing a message with attachments to the user's mail program, which shows
// its compose window. Results are Simple MAPI codes, the numbers the mail
// component's callers already know.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz {

namespace mapi {
inline constexpr int Success = 0;
inline constexpr int UserAbort = 1;
inline constexpr int Failure = 2;
inline constexpr int LoginFailure = 3;  // also: the mail program cannot be started
inline constexpr int TooManyFiles = 9;
inline constexpr int TooManyRecipients = 10;
inline constexpr int AttachmentNotFound = 11;
inline constexpr int UnknownRecipient = 14;
inline constexpr int AmbiguousRecipient = 21;
inline constexpr int NotSupported = 26;
}  // namespace mapi

enum class TRecipientClass : u8 { To = 1, Cc = 2, Bcc = 3 };

struct TMailRecipient {
  TRecipientClass Class = TRecipientClass::To;
  std::string Name;
  std::string Address;
};

struct TMailAttachment {
  std::string Path;
  // The name the mail shows; the path's own file name where the mail program
  // cannot be told another.
  std::string DisplayName;
};

struct TMailMessage {
  std::string Subject;
  std::string Text;
  std::vector<TMailRecipient> Recipients;
  std::vector<TMailAttachment> Attachments;
  // Let the user edit the message before it goes (the compose window).
  bool ShowDialog = true;
  bool ReceiptRequested = false;
};

class IMail {
 public:
  virtual ~IMail() = default;
  // Whether a mail service was found.
  virtual bool Available() = 0;
  virtual int Send(const TMailMessage& message) = 0;
  // Saves the message as a draft; `messageId` names the draft to replace and
  // receives the new one.
  virtual int Save(const TMailMessage& message, std::string& messageId) = 0;
};

}  // namespace vz
