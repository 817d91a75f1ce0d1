#include "app/dialogs/frmProperties.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

#include "app/dialogs/ShellItem.h"
#include "app/dialogs/frmReport.h"
#include "engine/support/PathUtils.h"
#include "platform/Errors.h"

namespace vz {
namespace {

constexpr int kCommentPixels = 13;

std::string RatioText(i64 uncompressed, i64 compressed, const TNumberFormat& numbers) {
  if (uncompressed <= 0 || compressed <= 0) return {};
  return FormatRatio(static_cast<double>(uncompressed) / static_cast<double>(compressed),
                     numbers.DecimalSeparator);
}

// The engine's calendar value (days since 1899-12-30, local time) in the
// locale's short date and time.
std::string DateTimeText(TDateTime value, const QLocale& locale) {
  const double days = std::floor(value);
  const auto msecs = static_cast<qint64>(std::llround((value - days) * 86'400'000.0));
  const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
  const QTime time = QTime(0, 0).addMSecs(static_cast<int>(std::min<qint64>(msecs, 86'399'999)));
  return TextBytes(locale.toString(QDateTime(date, time), QLocale::ShortFormat));
}

bool OnFloppy(const TAppContext& App, const std::string& archive) {
  IDrives& drives = App.Platform.Drives;
  return drives.IsFloppy(drives.DriveOf(archive));
}

}  // namespace

std::optional<TPropertiesContent> ArchiveProperties(const TAppContext& App, TUnZipEngine& Engine,
                                                    const TNumberFormat& Numbers,
                                                    const QLocale& Locale) {
  IFileSystem& files = App.Platform.Files;
  const std::string archive = Engine.ZipName();
  const auto info = files.Stat(archive);
  if (!info) {
    ShowWarning(App, SystemErrorText(files.LastError()));
    return std::nullopt;
  }
  i64 compressed = 0;
  i64 uncompressed = 0;
  int disks = 0;
  for (int i = 0; i < Engine.Count(); ++i) {
    compressed += Engine.CompressedSize(i);
    uncompressed += Engine.UncompressedSize(i);
    disks = std::max(disks, Engine.DiskNo(i));
  }
  TPropertiesContent content;
  content.Rows = {
      {"Filename", ExtractFileName(archive)},
      {"Modified", ModifiedText(info->LastWrite, Locale)},
      {"File Size", FormatSize(info->Size, Numbers)},
      {"Uncompressed Size", FormatSize(uncompressed, Numbers)},
      {"Compressed Size", FormatSize(compressed, Numbers)},
      {"Compression Ratio", RatioText(uncompressed, compressed, Numbers)},
      {"Compressed Files", Grouped(Engine.Count(), Numbers.ThousandSeparator)},
  };
  if (OnFloppy(App, archive)) content.Rows.push_back({"Disks Used", std::to_string(disks)});
  content.Comment = CommentText(Engine.ZipComment());
  return content;
}

TPropertiesContent MemberProperties(const TAppContext& App, TUnZipEngine& Engine,
                                    const std::string& Name, const TNumberFormat& Numbers,
                                    const QLocale& Locale) {
  int index = 0;
  for (int i = 0; i < Engine.Count(); ++i) {
    if (Engine.FullName(i) == Name) {
      index = i;
      break;
    }
  }
  const i64 size = Engine.UncompressedSize(index);
  const i64 compressed = Engine.CompressedSize(index);
  TPropertiesContent content;
  content.Member = index;
  content.Rows = {
      {"Filename", ExtractFileName(Name)},
      {"Modified", DateTimeText(Engine.DateTime(index), Locale)},
      {"File Size", FormatSize(size, Numbers)},
      {"Compressed Size", FormatSize(compressed, Numbers)},
      {"Compression Ratio", RatioText(size, compressed, Numbers)},
      {"Compressed Method", Engine.MethodName(index)},
      // Signed, as the CRC has always been shown here: 0xFFFFFFFF is -1.
      {"CRC", std::to_string(static_cast<i32>(Engine.Crc(index)))},
      {"Encrypted", Engine.IsEncrypted(index) ? "True" : "False"},
      {"Encryption", Engine.IsEncrypted(index) ? Engine.EncryptionName(index) : "None"},
  };
  if (OnFloppy(App, Engine.ZipName())) {
    content.Rows.push_back({"Disk Number", std::to_string(Engine.DiskNo(index))});
  }
  content.Comment = CommentText(Engine.FileComment(index));
  return content;
}

bool SetChangedComment(TUnZipEngine& Engine, int Member, const std::string& Text) {
  const std::string shown =
      CommentText(Member >= 0 ? Engine.FileComment(Member) : Engine.ZipComment());
  // Blanks and line breaks at the ends do not count: the box trims them.
  if (Text == shown || Text == Trim(shown)) return false;
  if (Member >= 0) {
    Engine.SetFileComment(Member, Text);
  } else {
    Engine.SetZipComment(Text);
  }
  return true;
}

TfrmProperties::TfrmProperties(const TAppContext& App, IHelpService& Help, QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("Properties"), parent) {
  auto* tsGeneral = Named<QWidget>("tsGeneral");
  lvProperties =
      MakeReportTable("lvProperties", {QStringLiteral("Property"), QStringLiteral("Value")});
  lvProperties->setColumnWidth(0, 130);
  auto* generalLayout = new QVBoxLayout(tsGeneral);
  generalLayout->addWidget(lvProperties);

  auto* tsComments = Named<QWidget>("tsComments");
  memComment = Named<QPlainTextEdit>("memComment");
  memComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font = memComment->font();
  font.setPixelSize(kCommentPixels);
  memComment->setFont(font);
  auto* label = Named<QLabel>("lblComment", QStringLiteral("&Enter comment"));
  label->setBuddy(memComment);
  auto* commentLayout = new QVBoxLayout(tsComments);
  commentLayout->addWidget(label);
  commentLayout->addWidget(memComment);

  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(tsGeneral, QStringLiteral("General"));
  pages->addTab(tsComments, QStringLiteral("Comment"));
  pages->setMinimumSize(340, 280);
  auto* butOK = MakeButton("butOK", QStringLiteral("&OK"));
  connect(butOK, &QPushButton::clicked, this, &TfrmProperties::butOKClick);
  Arrange(pages, butOK);
  lvProperties->setFocus();
}

void TfrmProperties::Fill(const TPropertiesContent& Content, bool GridLines, bool IsSFX) {
  auto* model = static_cast<QStandardItemModel*>(lvProperties->model());
  model->setRowCount(0);
  for (const TPropertyRow& row : Content.Rows) {
    model->appendRow({ReportCell(row.Property), ReportCell(row.Value)});
  }
  lvProperties->setShowGrid(GridLines);
  lvProperties->resizeRowsToContents();
  memComment->setPlainText(DisplayText(Content.Comment));
  if (IsSFX) {
    memComment->setEnabled(false);
    QPalette palette = memComment->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    memComment->setPalette(palette);
  }
}

std::string TfrmProperties::Comment() const {
  return TextBytes(memComment->toPlainText());
}

void TfrmProperties::butOKClick() {
  memComment->setPlainText(Trim(memComment->toPlainText()));
  accept();
}

}  // namespace vz
