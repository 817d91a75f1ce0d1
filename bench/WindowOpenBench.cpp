// The window's open benchmark: how long the main window takes from the start
// of OpenArchive to the first folder's rows being in the list model, against
// `vzip l ARCHIVE >/dev/null` run in the same rounds (medians of the rounds,
// interleaved); how long selecting the archive's largest folder takes until
// its rows are in the model and painted; the longest gap a 10 ms heartbeat
// timer saw on the user-interface thread meanwhile; and the window's peak
// resident memory with the archive open, less its peak with none, against
// vzip's peak for the same listing (each measured in a fresh process).
//
//   vz_window_bench [--runs N] --vzip PATH ARCHIVE...
//   vz_window_bench --peak [ARCHIVE]    (internal: one process, prints kB)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/QtHost.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "platform/posix/PosixPlatform.h"

extern char** environ;

namespace {

using namespace vz;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The peak resident set of this process so far, in kB.
long PeakKb() {
  FILE* status = std::fopen("/proc/self/status", "r");
  long kb = 0;
  char line[256];
  while (status && std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  }
  if (status) std::fclose(status);
  return kb;
}

struct TChildRun {
  double Seconds = 0;
  long PeakKb = 0;
  std::string Output;
};

// Runs a program with its output to /dev/null (or captured); wall time and
// the child's peak resident set.
TChildRun RunChild(const std::vector<std::string>& argv, bool capture) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture) {
    if (pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  QElapsedTimer clock;
  clock.start();
  pid_t pid = 0;
  TChildRun run;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  if (capture) {
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      run.Output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  run.PeakKb = usage.ru_maxrss;
  return run;
}

// The window with everything it needs, its settings in a scratch folder.
struct TBenchWindow {
  QTemporaryDir Home;
  TQtHost Host;
  std::unique_ptr<TPosixPlatform> Platform;
  TAppGlobals Globals;
  std::unique_ptr<TAppContext> App;
  std::unique_ptr<TCFI> CFI;
  std::unique_ptr<TAppInfo> AppInfo;
  TOpInfo OpInfo;
  std::unique_ptr<TfrmMain> Window;

  TBenchWindow() {
    Host.ExecMessageBox = [](QMessageBox& box) {
      std::fprintf(stderr, "message: %s\n", qPrintable(box.text()));
      return QMessageBox::Ok;
    };
    Platform = std::make_unique<TPosixPlatform>(Host);
    Globals = InitGlobals(Platform->Services().Environment);
    Globals.AppDir = Home.path().toStdString() + "/";
    App = std::make_unique<TAppContext>(TAppContext{Platform->Services(), Globals});
    CFI = std::make_unique<TCFI>(*App);
    AppInfo = std::make_unique<TAppInfo>(*App, TScreenSize{1024, 768});
    Window = std::make_unique<TfrmMain>(TMainServices{*App, *AppInfo, OpInfo, *CFI}, QStringList());
    Window->resize(900, 600);
    Window->show();
    QApplication::processEvents();
  }
};

// The longest time between two ticks of a 10 ms timer while it runs.
class THeartbeat {
 public:
  THeartbeat() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const qint64 now = FClock.elapsed();
      FLongest = std::max(FLongest, now - FLast);
      FLast = now;
    });
  }
  void Start() {
    FClock.start();
    FLast = 0;
    FLongest = 0;
    FTimer.start(10);
  }
  // Lets a last tick come, so a gap at the very end is seen too.
  qint64 Stop() {
    QApplication::processEvents();
    const qint64 now = FClock.elapsed();
    FLongest = std::max(FLongest, now - FLast);
    FTimer.stop();
    return FLongest;
  }

 private:
  QTimer FTimer;
  QElapsedTimer FClock;
  qint64 FLast = 0;
  qint64 FLongest = 0;
};

struct TOpenTimes {
  double OpenSeconds = 0;
  double SelectSeconds = 0;
  double FilterSeconds = 0;
  int FilteredRows = 0;
  qint64 LongestGapMs = 0;
  int LargestFolderRows = 0;
};

int LargestFolder(const TArchiveTree& tree) {
  int best = 0;
  for (int node = 1; node < tree.NodeCount(); ++node) {
    if (tree.Node(node).Members.size() > tree.Node(best).Members.size()) best = node;
  }
  return best;
}

TOpenTimes OpenOnce(TBenchWindow& bench, const std::string& archive) {
  TfrmMain& window = *bench.Window;
  window.ResetEngine();
  window.ClearTree();
  window.ClearList();
  QApplication::processEvents();
  THeartbeat heartbeat;
  TOpenTimes times;
  heartbeat.Start();
  QElapsedTimer clock;
  clock.start();
  window.ZipEngine.SetZipName(archive);
  window.OpenArchive();
  window.BuildFolderTree();
  window.FillFileList();
  times.OpenSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  QApplication::processEvents();
  const int folder = LargestFolder(*window.Tree());
  clock.restart();
  window.SelectNode(folder);  // lists it, as a click on the node does
  QApplication::processEvents();
  times.SelectSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  times.LargestFolderRows = window.FileListModel().rowCount();
  // Typing into the filter box: every keystroke narrows all the rows again.
  auto* filter = window.findChild<QLineEdit*>(QStringLiteral("edtFilter"));
  clock.restart();
  filter->setText(QStringLiteral("*7?.txt"));
  QApplication::processEvents();
  times.FilterSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  times.FilteredRows = window.FileListModel().rowCount();
  filter->clear();
  times.LongestGapMs = heartbeat.Stop();
  return times;
}

int PeakMode(const QStringList& args) {
  TBenchWindow bench;
  const long before = PeakKb();
  if (args.size() > 2) {
    bench.Window->ZipEngine.SetZipName(args[2].toStdString());
    bench.Window->OpenArchive();
    bench.Window->BuildFolderTree();
    bench.Window->FillFileList();
    QApplication::processEvents();
  }
  std::printf("%ld %ld\n", before, PeakKb());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() > 1 && args[1] == QLatin1String("--peak")) return PeakMode(args);

  int runs = 5;
  std::string vzip;
  std::vector<std::string> archives;
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
      runs = args[++i].toInt();
    } else if (args[i] == QLatin1String("--vzip") && i + 1 < args.size()) {
      vzip = args[++i].toStdString();
    } else {
      archives.push_back(args[i].toStdString());
    }
  }
  if (vzip.empty() || archives.empty()) {
    std::fprintf(stderr, "usage: vz_window_bench [--runs N] --vzip PATH ARCHIVE...\n");
    return 2;
  }
  const std::string self = QApplication::applicationFilePath().toStdString();
  TBenchWindow bench;
  for (const std::string& archive : archives) {
    std::vector<double> listTimes, openTimes, selectTimes, filterTimes;
    int filtered = 0;
    qint64 longestGap = 0;
    long listPeak = 0;
    int rows = 0;
    for (int run = 0; run < runs; ++run) {
      const TChildRun list = RunChild({vzip, "l", archive}, false);
      listTimes.push_back(list.Seconds);
      listPeak = std::max(listPeak, list.PeakKb);
      const TOpenTimes open = OpenOnce(bench, archive);
      openTimes.push_back(open.OpenSeconds);
      selectTimes.push_back(open.SelectSeconds);
      filterTimes.push_back(open.FilterSeconds);
      filtered = open.FilteredRows;
      longestGap = std::max(longestGap, open.LongestGapMs);
      rows = open.LargestFolderRows;
    }
    long emptyBefore = 0, emptyPeak = 0, openBefore = 0, openPeak = 0;
    std::sscanf(RunChild({self, "--peak"}, true).Output.c_str(), "%ld %ld", &emptyBefore,
                &emptyPeak);
    std::sscanf(RunChild({self, "--peak", archive}, true).Output.c_str(), "%ld %ld", &openBefore,
                &openPeak);
    const double list = Median(listTimes), open = Median(openTimes);
    std::printf("%s\n", archive.c_str());
    std::printf("  vzip l, whole run          %8.3f s   peak %7ld kB\n", list, listPeak);
    std::printf("  window open to first rows  %8.3f s   (%.2f x vzip l; target <= 1.5)\n", open,
                open / list);
    std::printf("  select largest folder      %8.3f s   (%d rows; target < 0.5 s)\n",
                Median(selectTimes), rows);
    std::printf("  filter it by \"*7?.txt\"     %8.3f s   (%d rows left; target < 0.1 s)\n",
                Median(filterTimes), filtered);
    std::printf("  longest UI-thread gap      %8lld ms  (target <= 100 ms)\n",
                static_cast<long long>(longestGap));
    std::printf("  window peak, open - empty  %8ld kB   (%ld - %ld; %.2f x vzip l; target <= 2)\n",
                openPeak - emptyPeak, openPeak, emptyPeak,
                static_cast<double>(openPeak - emptyPeak) / static_cast<double>(listPeak));
  }
  return 0;
}
