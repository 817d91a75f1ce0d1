// The mail sender: availability, result codes, the compose-window rule,
// attachment names, and the xdg-email command it leads to.
#include "app/core/Email.h"

#include "app/core/AppErrors.h"
#include "platform/posix/PosixMail.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class EmailTest : public test::AppFixture {
 protected:
  std::string Archive(const std::string& name) {
    const std::string path = Path(name);
    test::WriteFileText(path, "PK");
    return path;
  }
};

TEST_F(EmailTest, MissingServiceRaisesEMAPIunavailable) {
  Fake.Mail.Present = false;
  TEmail mail(Fake.Mail, Fake.Files);
  EXPECT_FALSE(mail.MAPIavail());
  for (const auto& call : {&TEmail::SendMail, &TEmail::SaveMail}) {
    try {
      (mail.*call)();
      FAIL() << "no exception";
    } catch (const EMAPIunavailable& e) {
      EXPECT_STREQ(e.what(), "MAPI services are not available on this system");
    }
  }
  EXPECT_TRUE(Fake.Mail.Sent.empty());
}

TEST_F(EmailTest, ArchiveAloneOpensTheComposeWindow) {
  TEmail mail(Fake.Mail, Fake.Files);
  mail.Attachment = {Archive("backup.zip")};
  mail.Subject = "backup.zip";
  ASSERT_EQ(mail.SendMail(), mapi::Success);
  ASSERT_EQ(Fake.Mail.Sent.size(), 1u);
  const TMailMessage& sent = Fake.Mail.Sent[0];
  EXPECT_TRUE(sent.ShowDialog);
  EXPECT_EQ(sent.Subject, "backup.zip");
  ASSERT_EQ(sent.Attachments.size(), 1u);
  EXPECT_EQ(sent.Attachments[0].Path, Path("backup.zip"));
  EXPECT_EQ(sent.Attachments[0].DisplayName, "backup.zip");
}

TEST_F(EmailTest, RecipientsSkipTheDialogUnlessShowDialogIsSet) {
  TEmail mail(Fake.Mail, Fake.Files);
  mail.Recipient = {"ann@example.org", "  "};
  mail.CC = {"Bob [SMTP:bob@example.org]"};
  mail.Bcc = {"carl@example.org"};
  mail.Acknowledge = true;
  ASSERT_EQ(mail.SendMail(), mapi::Success);
  mail.ShowDialog = true;
  ASSERT_EQ(mail.SendMail(), mapi::Success);
  ASSERT_EQ(Fake.Mail.Sent.size(), 2u);
  EXPECT_FALSE(Fake.Mail.Sent[0].ShowDialog);
  EXPECT_TRUE(Fake.Mail.Sent[1].ShowDialog);
  EXPECT_TRUE(Fake.Mail.Sent[0].ReceiptRequested);
  const auto& r = Fake.Mail.Sent[0].Recipients;
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].Class, TRecipientClass::To);
  EXPECT_EQ(r[0].Address, "ann@example.org");
  EXPECT_EQ(r[1].Class, TRecipientClass::Cc);
  EXPECT_EQ(r[1].Name, "Bob SMTP:bob@example.org");
  EXPECT_EQ(r[1].Address, "bob@example.org");
  EXPECT_EQ(r[2].Class, TRecipientClass::Bcc);
}

TEST_F(EmailTest, AttachmentThatIsNotAFileGivesElevenAndSendsNothing) {
  TEmail mail(Fake.Mail, Fake.Files);
  test::MakeFolders(Path("folder.zip"));
  for (const auto& missing : {Path("gone.zip"), Path("folder.zip")}) {
    mail.Attachment = {Archive("here.zip"), missing};
    EXPECT_EQ(mail.SendMail(), mapi::AttachmentNotFound) << missing;
  }
  EXPECT_TRUE(Fake.Mail.Sent.empty());
}

TEST_F(EmailTest, TooManyRecipientsOrFilesAreRefusedBeforeAnythingElse) {
  TEmail mail(Fake.Mail, Fake.Files);
  mail.EntryLimit = 3;
  mail.Recipient = {"a@x", "b@x"};
  mail.Attachment = {Path("missing1"), Path("missing2")};
  EXPECT_EQ(mail.SendMail(), mapi::AttachmentNotFound) << "both lists under the limit";
  mail.Bcc = {"c@x"};
  mail.Attachment.push_back(Path("missing3"));
  EXPECT_EQ(mail.SendMail(), mapi::TooManyRecipients) << "recipients are counted first";
  mail.Bcc.clear();
  EXPECT_EQ(mail.SendMail(), mapi::TooManyFiles);
  EXPECT_EQ(mail.SaveMail(), mapi::TooManyFiles);
  EXPECT_TRUE(Fake.Mail.Sent.empty());
  EXPECT_TRUE(Fake.Mail.Saved.empty());
}

TEST_F(EmailTest, ServiceResultIsReturnedAsItIs) {
  TEmail mail(Fake.Mail, Fake.Files);
  Fake.Mail.Result = mapi::UserAbort;
  EXPECT_EQ(mail.SendMail(), mapi::UserAbort);
}

TEST_F(EmailTest, SubjectAndTextAreCutTo255Characters) {
  TEmail mail(Fake.Mail, Fake.Files);
  std::string longSubject;
  for (int i = 0; i < 300; ++i) longSubject += "é";
  mail.Subject = longSubject;
  mail.Text = std::string(255, 't');
  ASSERT_EQ(mail.SendMail(), mapi::Success);
  EXPECT_EQ(Fake.Mail.Sent[0].Subject, longSubject.substr(0, 510));
  EXPECT_EQ(Fake.Mail.Sent[0].Text, mail.Text);
}

TEST_F(EmailTest, SaveMailHandsOverTheStoredDraftIdAndKeepsTheNewOne) {
  TEmail mail(Fake.Mail, Fake.Files);
  mail.MessageId = "draft-7";
  ASSERT_EQ(mail.SaveMail(), mapi::Success);
  EXPECT_EQ(Fake.Mail.SavedIds, std::vector<std::string>{"draft-7"});
  EXPECT_EQ(mail.MessageId, "fake-draft-1");
}

// ---------------------------------------------------------------- through xdg-email

class EmailXdgTest : public EmailTest {
 protected:
  EmailXdgTest() {
    test::WriteFileText(Path("bin/xdg-email"), "");
    Fake.Environment.Programs["xdg-email"] = Path("bin/xdg-email");
  }
  TPosixMail Xdg{Fake.Environment, Fake.Processes};
};

TEST_F(EmailXdgTest, SendRunsXdgEmailWithTheWholeMessage) {
  TEmail mail(Xdg, Fake.Files);
  ASSERT_TRUE(mail.MAPIavail());
  mail.Recipient = {"ann@example.org"};
  mail.CC = {"bob@example.org"};
  mail.Bcc = {"Carl [carl@example.org]"};
  mail.Subject = "Backup, part 1";
  mail.Text = "See attached.\nBye";
  mail.Attachment = {Archive("one two.zip"), Archive("VeryLongArchiveName.zip")};
  ASSERT_EQ(mail.SendMail(), mapi::Success);
  ASSERT_EQ(Fake.Processes.Started.size(), 1u);
  const auto& started = Fake.Processes.Started[0];
  EXPECT_TRUE(started.Waited) << "the compose window is modal";
  EXPECT_EQ(started.Command.Program, Path("bin/xdg-email"));
  EXPECT_EQ(started.Command.Arguments,
            (std::vector<std::string>{
                "--utf8", "--subject", "Backup, part 1", "--body", "See attached.\nBye", "--cc",
                "bob@example.org", "--bcc", "carl@example.org", "--attach", Path("one two.zip"),
                "--attach", Path("VeryLongArchiveName.zip"), "ann@example.org"}));
}

TEST_F(EmailXdgTest, MailProgramThatCannotStartOrFailsGivesThree) {
  TEmail mail(Xdg, Fake.Files);
  Fake.Processes.FailStart = ENOENT;
  EXPECT_EQ(mail.SendMail(), mapi::LoginFailure);
  Fake.Processes.FailStart = 0;
  Fake.Processes.ExitCode = 4;
  EXPECT_EQ(mail.SendMail(), mapi::LoginFailure);
  Fake.Processes.ExitCode = 0;
  EXPECT_EQ(mail.SendMail(), mapi::Success);
  EXPECT_EQ(mail.SaveMail(), mapi::NotSupported);
}

TEST_F(EmailXdgTest, WithoutXdgEmailTheServiceIsUnavailable) {
  Fake.Environment.Programs.clear();
  TEmail mail(Xdg, Fake.Files);
  EXPECT_FALSE(mail.MAPIavail());
  EXPECT_THROW(mail.SendMail(), EMAPIunavailable);
  EXPECT_TRUE(Fake.Processes.Started.empty());
}

// ---------------------------------------------------------------- names

struct TNameCase {
  std::string Path;
  std::string Truncated;
  friend void PrintTo(const TNameCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Path);
  }
};

class AttachmentNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(AttachmentNameTest, ShortensToAnEightThreeLikeName) {
  EXPECT_EQ(TEmail::AttachmentDisplayName(GetParam().Path, true), GetParam().Truncated);
  EXPECT_EQ(TEmail::AttachmentDisplayName(GetParam().Path, false),
            GetParam().Path.substr(GetParam().Path.rfind('/') + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Names, AttachmentNameTest,
    ::testing::Values(TNameCase{"/a/short.zip", "short.zip"},
                      TNameCase{"/a/twelve_c.zip", "twelve_c.zip"},
                      TNameCase{"/a/VeryLongArchiveName.zip", "hiveName.zip"},
                      TNameCase{"/a/123456789.abcd",
                                "3456789.abcd"},  // dot 10th: 1 dropped, then 12
                      TNameCase{"/a/12345678.abcde", "345678.abcde"},  // dot 9th: last 12
                      TNameCase{"/a/a.verylongextension", "ongextension"},
                      TNameCase{"/a/noextensionatalllong", "ionatalllong"},
                      TNameCase{"/a/x..............abc", "abc"},
                      TNameCase{"/a/ÄÖÜäöüßÄÖÜäöü.zip", "üßÄÖÜäöü.zip"}));

struct TAddressCase {
  std::string Entry;
  std::string Address;
  friend void PrintTo(const TAddressCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Entry);
  }
};

class RecipientAddressTest : public ::testing::TestWithParam<TAddressCase> {};

TEST_P(RecipientAddressTest, TakesTheBracketedAddress) {
  EXPECT_EQ(TEmail::RecipientAddress(GetParam().Entry), GetParam().Address);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RecipientAddressTest,
    ::testing::Values(TAddressCase{"ann@example.org", "ann@example.org"},
                      TAddressCase{"  ann@example.org ", "ann@example.org"},
                      TAddressCase{"Ann [ann@example.org]", "ann@example.org"},
                      TAddressCase{"Ann [smtp:ann@example.org]", "ann@example.org"},
                      TAddressCase{"Ann ]x[", "Ann ]x["}, TAddressCase{"", ""}));

}  // namespace
}  // namespace vz
