// The window's helpers: message boxes and file filters of the Qt host, calls
// into the user-interface thread from a worker, the operation runner, the
// text pane's decoding and cap, the recently-used list and the name-encoding
// setting.
#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/NameEncoding.h"
#include "app/OperationRunner.h"
#include "app/QtHost.h"
#include "app/RecentFiles.h"
#include "app/TextPane.h"
#include "app/UiThread.h"
#include "app/dialogs/frmAVScan.h"
#include "app/dialogs/frmDiskPrompt.h"
#include "app/dialogs/frmOptions.h"
#include "engine/support/Exceptions.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"

namespace vz {
namespace {

TEST(QtHost, MessageBoxAsDescribed) {
  const auto box = MakeMessageBox({"Cannot open a.zip!\r\rRepair it?\rNow", "Varnel Zip",
                                   TMsgButtons::YesNo, TMsgIcon::Question, TMsgResult::No},
                                  nullptr);
  EXPECT_EQ(box->windowTitle(), "Varnel Zip");
  EXPECT_EQ(box->text(), "Cannot open a.zip!\n\nRepair it?\nNow");
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
}

TEST(QtHost, AnswersComeBackFromAnyThread) {
  TQtHost host;
  QString seen;
  host.ExecMessageBox = [&](QMessageBox& box) {
    EXPECT_TRUE(OnUserInterfaceThread());
    seen = box.text();
    return QMessageBox::Yes;
  };
  TMsgResult answer = TMsgResult::Cancel;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = host.MessageBox(
        {"Sure?", "Varnel Zip", TMsgButtons::YesNo, TMsgIcon::Question, TMsgResult::Yes});
    done = true;
  });
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(answer, TMsgResult::Yes);
  EXPECT_EQ(seen, "Sure?");
}

TEST(QtHost, FiltersInQtsSyntax) {
  EXPECT_EQ(QtFileFilter("Zipfile|*.zip|Self Extracting File|*.exe|Zipfile or Self Exracting "
                         "File|*.zip;*.exe|Any File|*.*"),
            "Zipfile (*.zip);;Self Extracting File (*.exe);;Zipfile or Self Exracting File "
            "(*.zip *.exe);;Any File (*)");
}

// "Programs" lists folders and the files that may be run; the rest stay
// out of sight until "Any File" is chosen.
TEST(QtHost, TheProgramsFilterListsWhatMayRun) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* name : {"tool", "notes.txt"}) {
    QFile file(dir.filePath(QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QFile::setPermissions(dir.filePath(QStringLiteral("tool")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
  const auto listed = [&dir](QFileDialog& dialog, int expected) {
    QAbstractProxyModel* proxy = dialog.proxyModel();
    auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
    QStringList names;
    if (files == nullptr) return names;
    QModelIndex folder;
    static_cast<void>(QTest::qWaitFor([&] {
      folder = proxy->mapFromSource(files->index(dir.path()));
      if (proxy->canFetchMore(folder)) proxy->fetchMore(folder);
      return proxy->rowCount(folder) == expected;
    }));
    for (int row = 0; row < proxy->rowCount(folder); ++row) {
      names << proxy->index(row, 0, folder).data().toString();
    }
    names.sort();
    return names;
  };
  QStringList programs;
  QStringList everything;
  QTimer::singleShot(0, [&] {
    QFileDialog* dialog = nullptr;
    const bool found = QTest::qWaitFor([&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* open = qobject_cast<QFileDialog*>(widget); open && open->isVisible()) {
          dialog = open;
        }
      }
      return dialog != nullptr;
    });
    if (!found) return;
    programs = listed(*dialog, 2);
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (types != nullptr) types->setCurrentIndex(1);  // as the user picks "Any File"
    everything = listed(*dialog, 3);
    dialog->reject();
  });
  TQtHost host;
  EXPECT_FALSE(host.OpenFileDialog("Browse", kProgramFilter, dir.path().toStdString()));
  EXPECT_EQ(programs, (QStringList{"sub", "tool"}));
  EXPECT_EQ(everything, (QStringList{"notes.txt", "sub", "tool"}));
}

TEST(UiThread, ErrorsReachTheCaller) {
  std::string caught;
  std::thread worker([&] {
    try {
      RunOnUiThread([] { throw EUserCanceled("User canceled loading new disk."); });
    } catch (const EUserCanceled& e) {
      caught = e.what();
    }
  });
  while (caught.empty()) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(caught, "User canceled loading new disk.");
}

TEST(OperationRunner, KeepsTheWindowAliveAndCancelsOnEsc) {
  QWidget window;
  window.show();
  TOperationRunner runner(&window);
  std::atomic<bool> cancelled{false};
  runner.OnCancel = [&] { cancelled = true; };
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks == 3) QTest::keyClick(&window, Qt::Key_Escape);
  });
  timer.start(5);
  bool ranElsewhere = false;
  runner.Run([&] {
    ranElsewhere = !OnUserInterfaceThread();
    while (!cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_TRUE(ranElsewhere);
  EXPECT_GE(ticks, 3);  // the event loop ran while the work did
  EXPECT_TRUE(runner.CancelRequested());
  EXPECT_FALSE(runner.Busy());
  EXPECT_THROW(runner.Run([] { throw EUserCanceled("User Aborted Operation"); }), EUserCanceled);
}

TEST(OperationRunner, HoldsInputToTheWindowButNotTheCancelButton) {
  QWidget window;
  auto* button = new QPushButton(QStringLiteral("Cancel"), &window);
  auto* other = new QPushButton(QStringLiteral("Other"), &window);
  window.show();
  TOperationRunner runner(&window);
  runner.SetCancelButton(button);
  int clicks = 0, cancels = 0;
  QObject::connect(other, &QPushButton::clicked, [&] { ++clicks; });
  QObject::connect(button, &QPushButton::clicked, &runner, &TOperationRunner::Cancel);
  runner.OnCancel = [&] { ++cancels; };
  std::atomic<bool> stop{false};
  QTimer::singleShot(5, [&] {
    QTest::mouseClick(other, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    stop = true;
  });
  runner.Run([&] {
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(cancels, 1);
  QTest::mouseClick(other, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);  // input flows again afterwards
}

TEST(ProgressGate, CoalescesWorkerUpdates) {
  TProgressGate gate;
  std::vector<int> shown;
  gate.OnPercent = [&](int percent) { shown.push_back(percent); };
  std::thread worker([&] {
    for (int p = 0; p <= 100; ++p) gate.SetPercent(p);
  });
  worker.join();
  QTest::qWait(3 * TProgressGate::kIntervalMs);
  ASSERT_FALSE(shown.empty());
  EXPECT_LT(shown.size(), 5u);
  EXPECT_EQ(shown.back(), 100);
}

TEST(TextPane, Utf8WithCodePage437ForStrayBytes) {
  EXPECT_EQ(DecodeMemberText("caf\xC3\xA9 \x82t\xE9"), QStringLiteral("café étΘ"));
  EXPECT_EQ(DecodeMemberText(std::string_view("a\0b", 3)), QString::fromUtf8("a\0b", 3));
}

TEST(TextPane, StreamKeepsItsFirstPartAndCountsTheRest) {
  TCappedStream stream(8);
  const std::string text = "0123456789abcdef";
  stream.WriteBuffer({reinterpret_cast<const u8*>(text.data()), text.size()});
  EXPECT_EQ(stream.Size(), 16);
  EXPECT_TRUE(stream.Cut());
  EXPECT_EQ(std::string(stream.Kept().begin(), stream.Kept().end()), "01234567");
  stream.SetSize(4);  // a member that failed its check is taken out again
  stream.SetPosition(4);
  EXPECT_FALSE(stream.Cut());
  EXPECT_EQ(stream.Kept().size(), 4u);
}

TEST(RecentFiles, AddsOnceAndCountsVisits) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  ASSERT_TRUE(AddToRecentFiles(fake.Services(), fake.Root() + "a b.zip"));
  ASSERT_TRUE(AddToRecentFiles(fake.Services(), fake.Root() + "a b.zip"));
  QFile file(QString::fromStdString(fake.Environment.DataFolder + "recently-used.xbel"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString xbel = QString::fromUtf8(file.readAll());
  EXPECT_EQ(xbel.count(QStringLiteral("<bookmark ")), 1);
  EXPECT_TRUE(xbel.contains(QStringLiteral("a%20b.zip")));
  EXPECT_TRUE(xbel.contains(QStringLiteral("count=\"2\"")));
  EXPECT_TRUE(xbel.contains(QStringLiteral("application/zip")));
}

TEST(RecentFiles, LeavesAFileItCannotReadAlone) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  const QString name = QString::fromStdString(fake.Environment.DataFolder + "recently-used.xbel");
  QDir().mkpath(QString::fromStdString(fake.Environment.DataFolder));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not xml <");
  file.close();
  EXPECT_FALSE(AddToRecentFiles(fake.Services(), "/x.zip"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "not xml <");
}

TEST(NameEncoding, SettingRoundTripAndUnknownValues) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  EXPECT_EQ(LoadNameEncoding(fake.Settings, "Software\\Varnel\\Zip"), TNameEncoding::Auto);
  ASSERT_TRUE(SaveNameEncoding(fake.Settings, "Software\\Varnel\\Zip", TNameEncoding::ShiftJIS));
  EXPECT_EQ(LoadNameEncoding(fake.Settings, "Software\\Varnel\\Zip"), TNameEncoding::ShiftJIS);
  EXPECT_EQ(NameEncodingFromSetting("cp1251"), TNameEncoding::CP1251);
  EXPECT_EQ(NameEncodingFromSetting("KOI8-R"), TNameEncoding::Auto);
}

TEST(Dialogs, DiskPromptsAndScanWindow) {
  TfrmGetLastDisk last;
  EXPECT_EQ(last.findChild<QLabel*>(QStringLiteral("lblGetLastDisk"))->text(),
            "Please insert the last disk of the multi-part disk set.");
  EXPECT_NE(last.findChild<QLabel*>(QStringLiteral("imgDrive")), nullptr);
  auto* ok = last.findChild<QPushButton*>(QStringLiteral("butOK"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->text(), "&OK");
  EXPECT_EQ(last.findChild<QPushButton*>(QStringLiteral("butCancel"))->text(), "&Cancel");
  TfrmGetNextDisk next;
  EXPECT_NE(next.findChild<QLabel*>(QStringLiteral("ImgDrive")), nullptr);
  QTimer::singleShot(0, &next, [&next] { next.close(); });
  EXPECT_EQ(next.exec(), QDialog::Rejected);  // closing is Cancel

  TfrmAVScan scan;
  scan.SetMessage(QStringLiteral("Scanning /a/rather/long/path/to/some/archive.zip..."));
  scan.show();
  const int width = scan.fontMetrics().horizontalAdvance(scan.pnlFileName()->text());
  EXPECT_EQ(scan.width(), width + 36);
  EXPECT_TRUE(scan.windowFlags() & Qt::FramelessWindowHint);
}

}  // namespace
}  // namespace vz
