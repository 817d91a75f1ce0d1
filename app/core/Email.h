// TEmail: hands a message with attachments to the user's mail program, whose
// compose window lets the user finish and send it. The main window owns one
// (emSend) for its Send command.
//
// The properties are those of a Simple MAPI mail component, so callers
// keep their names. The desktop's mail hand-off has no logon, so Profile,
// Password, UseDefProfile, DownLoadFirst, NewSession and UnreadOnly are kept
// but change nothing; recipients are not looked up in an address book, and
// an entry written "Name [type:address]" gives the address inside the
// brackets.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Mail.h"

namespace vz {

class TEmail {
 public:
  // Finds out once whether the mail service is there.
  TEmail(IMail& mail, IFileSystem& files);

  std::vector<std::string> Recipient;
  std::vector<std::string> CC;
  std::vector<std::string> Bcc;
  // Full paths of the files to attach.
  std::vector<std::string> Attachment;
  // At most 255 characters each; longer text is cut when the message is made.
  std::string Subject;
  std::string Text;
  std::string Profile;
  std::string Password;
  bool UseDefProfile = false;
  bool ShowDialog = false;
  bool Acknowledge = false;
  // Shorten attachment display names to an 8.3-like form.
  bool TruncAttFN = true;
  bool DownLoadFirst = false;
  bool NewSession = false;
  bool UnreadOnly = false;
  // The draft SaveMail replaces, and then the one it made.
  std::string MessageId;
  // Lists of this many entries or more are refused (the count at which the
  // original service's descriptors would overflow).
  std::size_t EntryLimit = 0x5555556;

  bool MAPIavail() const { return FAvailable; }

  // 0 on success, else a Simple MAPI code: 10 for too many recipients, 9 for
  // too many attachments, 11 when an attachment is not an existing file
  // (nothing is handed over then), 3 when the mail program cannot be
  // started. EMAPIunavailable when there is no mail service. The compose
  // window is asked for when no recipient is given, or when ShowDialog is set.
  int SendMail();
  // The same message saved as a draft instead (26 where the mail service
  // cannot keep drafts).
  int SaveMail();

  // The name an attachment shows: the file name, and with TruncAttFN a name
  // of more than 12 characters loses what lies more than 8 characters before
  // its first dot (when that dot is the 10th character or later), then all
  // but its last 12 characters, then its leading dots.
  static std::string AttachmentDisplayName(const std::string& path, bool truncate);
  // The address of a recipient entry (see above).
  static std::string RecipientAddress(const std::string& entry);

 private:
  // The code to return early, or Success with `message` made.
  int BuildMessage(TMailMessage& message) const;

  IMail& FMail;
  IFileSystem& FFiles;
  bool FAvailable;
};

}  // namespace vz
