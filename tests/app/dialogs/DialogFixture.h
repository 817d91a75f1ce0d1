// The dialogs on the fake platform: a scripted host, a recording help
// service, and a home folder in the scratch folder with a desktop and a
// documents folder, which the shell trees show.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QTest>

#include <climits>
#include <memory>
#include <string>

#include "app/core/AppGlobals.h"
#include "app/dialogs/HelpService.h"
#include "app/dialogs/ShellNamespace.h"
#include "app/dialogs/ShellTree.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz::test {

class DialogFixture : public ::testing::Test {
 public:
  DialogFixture() {
    char cwd[PATH_MAX];
    FStartFolder = ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    Home = Fake.Root() + "home";
    MakeFolders(Home + "/Desktop");
    MakeFolders(Home + "/Documents");
    Locations = ShellLocationsFrom(
        Fake.Files, Home,
        {{"XDG_DESKTOP_DIR", Home + "/Desktop"}, {"XDG_DOCUMENTS_DIR", Home + "/Documents"}});
    Shell = std::make_unique<TShellNamespace>(Fake.Services(), Locations);
  }
  ~DialogFixture() override { [[maybe_unused]] const int rc = ::chdir(FStartFolder.c_str()); }

  template <typename TWidget>
  static TWidget* Find(const QObject& parent, const char* name) {
    auto* child = parent.findChild<TWidget*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  // Lets the folder readers' batches arrive until `done` holds.
  template <typename TCondition>
  static bool WaitFor(TCondition done) {
    return QTest::qWaitFor(done, 10000);
  }
  static bool Settled(const TShellTree& tree) {
    return WaitFor([&] { return !tree.Model().Busy(); });
  }
  static bool Settled(const TShellListView& list) {
    return WaitFor([&] { return !list.Model().Busy(); });
  }

  // The child of `parent` captioned `caption`, or an invalid index.
  static QModelIndex ChildCaptioned(const QAbstractItemModel& model, const QModelIndex& parent,
                                    const QString& caption) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
      const QModelIndex child = model.index(row, 0, parent);
      if (child.data().toString() == caption) return child;
    }
    return {};
  }

  // Clicks the row's caption.
  static void ClickRow(QAbstractItemView& view, const QModelIndex& index,
                       Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    view.scrollTo(index);
    const QRect rect = view.visualRect(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers,
                      QPoint(rect.left() + 24, rect.center().y()));
  }

  std::string Path(const std::string& name) const { return Fake.Root() + name; }

  TScriptedHost Host;
  TFakePlatform Fake{Host};
  TAppGlobals Globals = InitGlobals(Fake.Environment);
  TAppContext App{Fake.Services(), Globals};
  TRecordingHelpService Help;
  std::string Home;
  TShellLocations Locations;
  std::unique_ptr<TShellNamespace> Shell;

 private:
  std::string FStartFolder;
};

}  // namespace vz::test
