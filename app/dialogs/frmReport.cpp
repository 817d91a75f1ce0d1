#include "app/dialogs/frmReport.h"

#include <QApplication>
#include <QDateTime>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/core/AppErrors.h"
#include "app/dialogs/ShellItem.h"
#include "engine/format/ZipNames.h"
#include "engine/support/PathUtils.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"

namespace vz {

std::string Grouped(i64 value, const std::string& separator) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string CommentText(const std::string& raw) {
  return IsValidUtf8(raw) ? raw : OemToUtf8(raw);
}

std::string ModifiedText(TFileTime time, const QLocale& locale) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms.count()).toLocalTime();
  return TextBytes(locale.toString(when, QLocale::ShortFormat));
}

namespace {

void AddKindRows(TReportContent& report, TReportKind kind, const TOpInfo& op, bool removable) {
  const auto count = [](int n) { return std::to_string(n); };
  if (kind == TReportKind::Zipped) {
    report.ActionCaption = "Zipped";
    report.Results.push_back({"Compressed Files", count(op.Processed)});
    if (removable) report.Results.push_back({"Disks Used", count(op.DisksUsed)});
    report.Results.push_back(
        {"Files Not Found", count(op.NotFound), op.NotFound > 0 ? kStateError : 0});
  } else if (kind == TReportKind::Tested) {
    report.ActionCaption = "Passed";
    const int failed = static_cast<int>(op.Problems.size());
    report.Results.push_back({"Passed Files", count(op.Processed)});
    report.Results.push_back({"Failed Files", count(failed), failed > 0 ? kStateError : 0});
    report.Results.push_back({"Bad CRC", count(op.BadCRC), op.BadCRC > 0 ? kStateWarning : 0});
    report.Results.push_back(
        {"Bad Password", count(op.BadPassword), op.BadPassword > 0 ? kStateError : 0});
  } else {
    report.ActionCaption = "Unzipped";
    report.Results.push_back({"Extracted Files", count(op.Processed)});
    report.Results.push_back({"Files Not Replaced", count(op.NotReplaced)});
    report.Results.push_back({"Bad CRC", count(op.BadCRC), op.BadCRC > 0 ? kStateWarning : 0});
    report.Results.push_back(
        {"Bad Password", count(op.BadPassword), op.BadPassword > 0 ? kStateError : 0});
  }
}

std::vector<TProblemRow> ProblemRows(std::vector<std::string> lines, const std::string& iconRoot,
                                     bool withIcons) {
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareTextNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  std::vector<TProblemRow> rows;
  for (const std::string& line : lines) {
    // name "|" Yes/No "|" message: the name is cut off at the next to last
    // "|", since a file name may hold "|" itself and the messages do not.
    const auto last = line.rfind('|');
    const auto middle =
        last == std::string::npos || last == 0 ? std::string::npos : line.rfind('|', last - 1);
    const std::string name = middle != std::string::npos ? line.substr(0, middle) : line;
    TProblemRow row;
    row.Name = ExtractFileName(name);
    if (middle != std::string::npos) {
      row.Action = line.substr(middle + 1, last - middle - 1);
      row.Message = line.substr(last + 1);
    }
    if (withIcons) row.IconPath = iconRoot + name;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

std::string FormatRatio(double ratio, const std::string& decimal) {
  const auto hundredths = static_cast<long long>(std::llround(ratio * 100.0));
  const long long whole = hundredths / 100;
  const long long fraction = hundredths % 100;
  std::string text = whole > 0 ? std::to_string(whole) : std::string();
  if (fraction != 0) {
    text += decimal;
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text + " :1";
}

std::optional<TReportContent> BuildReport(const TAppContext& App, TReportKind Kind,
                                          const TOpInfo& OpInfo, TUnZipEngine& Engine,
                                          TCFI* Records, const TNumberFormat& Numbers,
                                          const QLocale& Locale) {
  const TPlatform& platform = App.Platform;
  const std::string archive = Engine.ZipName();
  const auto info = platform.Files.Stat(archive);
  if (!info) {
    ShowWarning(App, SystemErrorText(platform.Files.LastError()));
    return std::nullopt;
  }
  i64 compressed = 0;
  i64 uncompressed = 0;
  for (int i = 0; i < Engine.Count(); ++i) {
    compressed += Engine.CompressedSize(i);
    uncompressed += Engine.UncompressedSize(i);
  }
  TReportContent report;
  report.Results = {
      {"Filename", ExtractFileName(archive)},
      {"Modified", ModifiedText(info->LastWrite, Locale)},
      {"File Size", FormatSize(info->Size, Numbers)},
      {"Compressed Size", FormatSize(compressed, Numbers)},
      {"Uncompressed Size", FormatSize(uncompressed, Numbers)},
      {"Compression Ratio",
       compressed > 0 && uncompressed > 0
           ? FormatRatio(static_cast<double>(uncompressed) / static_cast<double>(compressed),
                         Numbers.DecimalSeparator)
           : std::string()},
      {"Requested Files", Grouped(OpInfo.Requested, Numbers.ThousandSeparator)},
  };
  IDrives& drives = platform.Drives;
  AddKindRows(report, Kind, OpInfo, drives.IsFloppy(drives.DriveOf(archive)));
  report.Results.push_back({"Comment", CommentText(Engine.ZipComment())});
  // The icons are only pictures: a damaged record does not stop the report.
  bool withIcons = false;
  try {
    withIcons = Records != nullptr && Records->Find(archive);
  } catch (const EConvertError&) {
  }
  report.Problems =
      ProblemRows(OpInfo.Problems, withIcons ? Records->RootDir : std::string(), withIcons);
  report.StateImages = !OpInfo.Problems.empty();
  return report;
}

// ---------------------------------------------------------------- window

QTableView* MakeReportTable(const char* name, const QStringList& columns) {
  auto* table = Named<QTableView>(name);
  auto* model = new QStandardItemModel(0, static_cast<int>(columns.size()), table);
  model->setHorizontalHeaderLabels(columns);
  table->setModel(model);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setSectionsClickable(false);
  table->horizontalHeader()->setHighlightSections(false);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  return table;
}

QStandardItem* ReportCell(const std::string& text) {
  auto* item = new QStandardItem(DisplayText(text));
  item->setToolTip(item->text());
  return item;
}

TfrmReport::TfrmReport(const TAppContext& App, IHelpService& Help, QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("Report"), parent) {
  setObjectName(QStringLiteral("frmReport"));
  lvResults =
      MakeReportTable("lvResults", {QStringLiteral("Report Item"), QStringLiteral("Result")});
  lvResults->setColumnWidth(0, 150);
  lvProblemFiles = MakeReportTable(
      "lvProblemFiles",
      {QStringLiteral("Name"), QStringLiteral("<Action>"), QStringLiteral("Error Message")});
  lvProblemFiles->setColumnWidth(0, 150);
  lvProblemFiles->setColumnWidth(1, 75);
  auto* pages = Named<QTabWidget>("PageControl");
  for (auto [page, table, caption] :
       {std::tuple{"tsResults", lvResults, "Results"},
        std::tuple{"tsProblemFiles", lvProblemFiles, "Problem Files"}}) {
    auto* widget = Named<QWidget>(page);
    auto* layout = new QVBoxLayout(widget);
    layout->addWidget(table);
    pages->addTab(widget, QString::fromLatin1(caption));
  }
  pages->setMinimumSize(440, 300);
  auto* butOK = MakeButton("butOK", QStringLiteral("&OK"));
  connect(butOK, &QPushButton::clicked, this, &QDialog::accept);
  Arrange(pages, butOK, false);
}

void TfrmReport::Fill(const TReportContent& Content, bool GridLines) {
  QStyle* style = QApplication::style();
  const QIcon stateIcons[] = {QIcon(), style->standardIcon(QStyle::SP_MessageBoxCritical),
                              style->standardIcon(QStyle::SP_MessageBoxWarning)};
  auto* results = static_cast<QStandardItemModel*>(lvResults->model());
  results->setRowCount(0);
  for (const TReportRow& row : Content.Results) {
    QStandardItem* item = ReportCell(row.Item);
    if (Content.StateImages && row.StateImage > 0 && row.StateImage <= 2) {
      item->setIcon(stateIcons[row.StateImage]);
    }
    results->appendRow({item, ReportCell(row.Result)});
  }
  auto* problems = static_cast<QStandardItemModel*>(lvProblemFiles->model());
  problems->setRowCount(0);
  problems->setHorizontalHeaderItem(1, new QStandardItem(DisplayText(Content.ActionCaption)));
  QFileIconProvider icons;
  const QIcon plain = icons.icon(QAbstractFileIconProvider::File);
  for (const TProblemRow& row : Content.Problems) {
    QStandardItem* name = ReportCell(row.Name);
    const QIcon own =
        row.IconPath.empty() ? QIcon() : icons.icon(QFileInfo(DisplayText(row.IconPath)));
    name->setIcon(own.isNull() ? plain : own);
    problems->appendRow({name, ReportCell(row.Action), ReportCell(row.Message)});
  }
  for (QTableView* table : {lvResults, lvProblemFiles}) {
    table->setShowGrid(GridLines);
    table->resizeRowsToContents();
  }
}

}  // namespace vz
