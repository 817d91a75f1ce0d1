// The report step over a real archive and TOpInfo, the ratio pattern, and
// the report window's tables.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

#include "app/dialogs/frmReport.h"
#include "engine/writer/ZipEngine.h"
#include "platform/Errors.h"
#include "tests/app/dialogs/DialogFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

const TNumberFormat kNumbers{",", "."};

class ReportTest : public test::DialogFixture {
 protected:
  // One member of 100 stored bytes said to unpack to 250, and a comment.
  std::unique_ptr<TZipEngine> OpenArchive(const std::string& path, const std::string& comment) {
    test::TBuildMember member;
    member.Name = "docs/a.txt";
    member.Data.assign(100, 'a');
    member.UncompressedSize = 250;
    Bytes = test::TZipBuilder::Archive({member}, comment);
    test::WriteFileBytes(path, Bytes);
    Fake.Files.SetLastWriteTime(path, std::chrono::system_clock::from_time_t(1'700'000'000));
    auto engine = std::make_unique<TZipEngine>(Fake.Services());
    engine->SetZipName(path);
    engine->ReadZip();
    return engine;
  }

  static std::vector<std::string> Column(const std::vector<TReportRow>& rows, bool items) {
    std::vector<std::string> texts;
    for (const auto& row : rows) texts.push_back(items ? row.Item : row.Result);
    return texts;
  }

  std::vector<u8> Bytes;
};

TEST_F(ReportTest, ListsTheArchiveAndTheZipCountsWithTheProblemFilesSorted) {
  auto engine = OpenArchive(Path("REPORT.ZIP"), "hello");
  TOpInfo op;
  op.Requested = 1234;
  op.Processed = 3;
  op.NotFound = 2;
  op.AddProblem("sub/b FILE.TXT", false, "File not found");
  op.AddProblem("a|b.txt", true, "Cannot open");
  TCFI records(App);
  records.Name = Path("REPORT.ZIP");
  records.RootDir = "/src/";
  records.SourcePath = "/src/";
  records.Save();
  const auto report =
      BuildReport(App, TReportKind::Zipped, op, *engine, &records, kNumbers, QLocale::c());
  ASSERT_TRUE(report);
  const QDateTime when = QDateTime::fromSecsSinceEpoch(1'700'000'000).toLocalTime();
  EXPECT_EQ(Column(report->Results, false),
            (std::vector<std::string>{
                "REPORT.ZIP", QLocale::c().toString(when, QLocale::ShortFormat).toStdString(),
                FormatSize(static_cast<i64>(Bytes.size()), kNumbers), "100", "250", "2.5 :1",
                "1,234", "3", "2", "hello"}));
  EXPECT_EQ(Column(report->Results, true),
            (std::vector<std::string>{"Filename", "Modified", "File Size", "Compressed Size",
                                      "Uncompressed Size", "Compression Ratio", "Requested Files",
                                      "Compressed Files", "Files Not Found", "Comment"}));
  EXPECT_EQ(report->Results[8].StateImage, kStateError);
  EXPECT_TRUE(report->StateImages);
  EXPECT_EQ(report->ActionCaption, "Zipped");
  ASSERT_EQ(report->Problems.size(), 2u);
  // A name holding "|" stays whole.
  EXPECT_EQ(report->Problems[0].Name, "a|b.txt");
  EXPECT_EQ(report->Problems[0].Action, "Yes");
  EXPECT_EQ(report->Problems[0].Message, "Cannot open");
  EXPECT_EQ(report->Problems[0].IconPath, "/src/a|b.txt");
  EXPECT_EQ(report->Problems[1].Name, "b FILE.TXT");
  EXPECT_EQ(report->Problems[1].Action, "No");
}

TEST_F(ReportTest, ListsTheExtractCountsAndDisksOnlyForFloppies) {
  const TFakeDrive& floppy = Fake.AddDrive("floppy", TDriveType::Removable, true);
  auto engine = OpenArchive(floppy.MountPoint + "a.zip", std::string("caf\x82", 4));
  TOpInfo op;
  op.Processed = 1;
  op.DisksUsed = 2;
  op.BadCRC = 1;
  op.NotReplaced = 4;
  auto report =
      BuildReport(App, TReportKind::Unzipped, op, *engine, nullptr, kNumbers, QLocale::c());
  ASSERT_TRUE(report);
  EXPECT_EQ(report->ActionCaption, "Unzipped");
  const std::vector<TReportRow> tail(report->Results.begin() + 7, report->Results.end());
  EXPECT_EQ(Column(tail, true), (std::vector<std::string>{"Extracted Files", "Files Not Replaced",
                                                          "Bad CRC", "Bad Password", "Comment"}));
  EXPECT_EQ(Column(tail, false), (std::vector<std::string>{"1", "4", "1", "0", "café"}));
  EXPECT_EQ(tail[2].StateImage, kStateWarning);
  EXPECT_EQ(tail[3].StateImage, 0);
  EXPECT_FALSE(report->StateImages);
  report = BuildReport(App, TReportKind::Zipped, op, *engine, nullptr, kNumbers, QLocale::c());
  EXPECT_EQ(report->Results[8].Item, "Disks Used");
  EXPECT_EQ(report->Results[8].Result, "2");
}

TEST_F(ReportTest, WarnsWhenTheArchiveIsGone) {
  TZipEngine engine(Fake.Services());
  engine.SetZipName(Path("gone.zip"));
  EXPECT_FALSE(BuildReport(App, TReportKind::Zipped, TOpInfo(), engine, nullptr, kNumbers));
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, SystemErrorText(ENOENT));
}

struct TRatioCase {
  double Ratio;
  const char* Decimal;
  const char* Text;
};

class RatioTest : public ::testing::TestWithParam<TRatioCase> {};

TEST_P(RatioTest, FollowsThePattern) {
  EXPECT_EQ(FormatRatio(GetParam().Ratio, GetParam().Decimal), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RatioTest,
    ::testing::Values(TRatioCase{2.5, ".", "2.5 :1"}, TRatioCase{3, ".", "3 :1"},
                      TRatioCase{0.5, ".", ".5 :1"}, TRatioCase{12.346, ".", "12.35 :1"},
                      TRatioCase{2.0001, ".", "2 :1"}, TRatioCase{1.25, ",", "1,25 :1"}));

TEST_F(ReportTest, TheWindowShowsBothTables) {
  TReportContent content;
  content.Results = {{"Filename", "A.zip"}, {"Files Not Found", "1", kStateError}};
  content.ActionCaption = "Unzipped";
  content.Problems = {{"Ü.txt", "No", "Bad CRC", ""}};
  content.StateImages = true;
  TfrmReport form(App, Help);
  form.Fill(content, true);
  auto* results = Find<QTableView>(form, "lvResults");
  auto* problems = Find<QTableView>(form, "lvProblemFiles");
  EXPECT_TRUE(results->showGrid());
  EXPECT_FALSE(results->horizontalHeader()->sectionsClickable());
  const QAbstractItemModel& r = *results->model();
  ASSERT_EQ(r.rowCount(), 2);
  EXPECT_EQ(r.index(1, 1).data().toString(), "1");
  EXPECT_TRUE(r.index(0, 0).data(Qt::DecorationRole).isNull());
  EXPECT_FALSE(r.index(1, 0).data(Qt::DecorationRole).isNull());
  const QAbstractItemModel& p = *problems->model();
  EXPECT_EQ(p.headerData(1, Qt::Horizontal).toString(), "Unzipped");
  EXPECT_EQ(p.index(0, 0).data().toString(), QString::fromUtf8("Ü.txt"));
  EXPECT_EQ(p.index(0, 2).data().toString(), "Bad CRC");
  form.Fill(content, false);
  EXPECT_EQ(r.rowCount(), 2);  // filled afresh, not appended
  EXPECT_FALSE(problems->showGrid());
}

}  // namespace
}  // namespace vz
