#include "app/core/Email.h"

#include "app/core/AppErrors.h"
#include "app/core/TextCase.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

constexpr std::size_t kShortTextChars = 255;
constexpr std::size_t kShortNameChars = 12;
constexpr std::size_t kCharsBeforeDot = 8;

// The characters of UTF-8 text, each as its bytes (a malformed byte alone).
std::vector<std::string> Characters(std::string_view text) {
  std::vector<std::string> chars;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = NextUtf8(text, pos).Length;
    chars.emplace_back(text.substr(pos, length));
    pos += length;
  }
  return chars;
}

std::string Joined(const std::vector<std::string>& chars) {
  std::string out;
  for (const auto& c : chars) out += c;
  return out;
}

std::string FirstChars(const std::string& text, std::size_t count) {
  auto chars = Characters(text);
  if (chars.size() <= count) return text;
  chars.resize(count);
  return Joined(chars);
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

TEmail::TEmail(IMail& mail, IFileSystem& files)
    : FMail(mail), FFiles(files), FAvailable(mail.Available()) {}

std::string TEmail::AttachmentDisplayName(const std::string& path, bool truncate) {
  const std::string name = FileNameOf(path);
  auto chars = Characters(name);
  if (!truncate || chars.size() <= kShortNameChars) return name;
  std::size_t dot = 0;
  while (dot < chars.size() && chars[dot] != ".") ++dot;
  if (dot < chars.size() && dot + 1 >= 10) {
    chars.erase(chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(dot - kCharsBeforeDot));
  }
  if (chars.size() > kShortNameChars) {
    chars.erase(chars.begin(), chars.end() - static_cast<std::ptrdiff_t>(kShortNameChars));
  }
  while (!chars.empty() && chars.front() == ".") chars.erase(chars.begin());
  return Joined(chars);
}

std::string TEmail::RecipientAddress(const std::string& entry) {
  const auto open = entry.find('[');
  const auto close = entry.find(']');
  if (open == std::string::npos || close == std::string::npos || close < open) {
    return Trimmed(entry);
  }
  std::string address = Trimmed(entry.substr(open + 1, close - open - 1));
  if (address.size() > 5 && SameText(address.substr(0, 5), "smtp:")) address.erase(0, 5);
  return address;
}

int TEmail::BuildMessage(TMailMessage& message) const {
  if (Recipient.size() + CC.size() + Bcc.size() >= EntryLimit) return mapi::TooManyRecipients;
  if (Attachment.size() >= EntryLimit) return mapi::TooManyFiles;
  message.Subject = FirstChars(Subject, kShortTextChars);
  message.Text = FirstChars(Text, kShortTextChars);
  const auto addList = [&message](const std::vector<std::string>& list, TRecipientClass kind) {
    for (const auto& entry : list) {
      const std::string address = RecipientAddress(entry);
      if (address.empty()) continue;
      std::string name = Trimmed(entry);
      if (const auto open = name.find('['); open != std::string::npos) name.erase(open, 1);
      if (const auto close = name.find(']'); close != std::string::npos) name.erase(close, 1);
      message.Recipients.push_back({kind, name, address});
    }
  };
  addList(Recipient, TRecipientClass::To);
  addList(CC, TRecipientClass::Cc);
  addList(Bcc, TRecipientClass::Bcc);
  for (const auto& path : Attachment) {
    const auto info = FFiles.Stat(path);
    if (!info || !info->IsRegular) return mapi::AttachmentNotFound;
    message.Attachments.push_back({path, AttachmentDisplayName(path, TruncAttFN)});
  }
  message.ShowDialog = message.Recipients.empty() || ShowDialog;
  message.ReceiptRequested = Acknowledge;
  return mapi::Success;
}

int TEmail::SendMail() {
  if (!FAvailable) throw EMAPIunavailable();
  TMailMessage message;
  if (const int code = BuildMessage(message); code != mapi::Success) return code;
  return FMail.Send(message);
}

int TEmail::SaveMail() {
  if (!FAvailable) throw EMAPIunavailable();
  TMailMessage message;
  if (const int code = BuildMessage(message); code != mapi::Success) return code;
  return FMail.Save(message, MessageId);
}

}  // namespace vz
