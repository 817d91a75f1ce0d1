// TfrmMain: the commands as actions (one per menu item, shared with its
// toolbar button), the menus, the toolbar, the pop-up menu of the file list,
// and UpdateCommands, which decides what is enabled.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>
#include <type_traits>

#include "app/FileView.h"
#include "app/Icons.h"
#include "app/MainWindow.h"
#include "app/core/AppInfo.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"

namespace vz {
namespace {

struct TCommandInfo {
  const char* Name;
  const char* Caption;
  int HelpContext;
  const char* Shortcut = "";
  const char* ButtonHint = "";  // with a toolbar button
  const char* Icon = "";
  bool Checkable = false;
};

// Every menu item and pop-up item, with its help context (also the toolbar
// button's tag).
const TCommandInfo kCommands[] = {
    {"mnuNew", "&New...", 280, "", "New", "document-new"},
    {"mnuOpen", "&Open...", 290, "", "Open", "document-open"},
    {"mnuClose", "&Close", 300},
    {"mnuUnzip", "&Unzip...", 310, "", "Unzip", "archive-extract"},
    {"mnuRefreshZipfile", "Re&fresh Zipfile...", 320, "", "Refresh Zipfile", "view-refresh"},
    {"mnuSFX", "Self-&extracting Zipfile", 330, "", "Self-extracting Zipfile",
     "application-x-executable"},
    {"mnuDeletecurrentzipfile", "&Delete current zipfile", 340},
    {"mnuDeleteZipfiles", "Delete zip&file(s)...", 350},
    {"mnuSend", "&Send", 360},
    {"mnuProperties", "&Properties...", 370},
    {"mnuExit", "E&xit", 380},
    {"mnuAddFiles", "&Add Files...", 400, "", "Add Files", "list-add"},
    {"mnuRemoveFiles", "&Remove Files", 410, "", "Remove Files", "list-remove"},
    {"mnuPassword", "&Password...", 420, "", "Password", "dialog-password"},
    {"mnuSelectAll", "Select &All", 430, "Ctrl+A"},
    {"mnuFilter", "&Filter Files", 0, "Ctrl+F"},
    {"mnuToolbar", "&Toolbar", 450, "", "", "", true},
    {"mnuGridLines", "&Grid Lines", 460, "", "", "", true},
    {"mnuLargeIcons", "Lar&ge Icons", 470, "", "", "", true},
    {"mnuSmallIcons", "Sm&all Icons", 480, "", "", "", true},
    {"mnuList", "&List", 490, "", "", "", true},
    {"mnuDetails", "&Details", 500, "", "", "", true},
    {"mnuMaxTextPane", "&Maximize Text Pane", 510, "F10", "Maximize Text Pane", "view-fullscreen",
     true},
    {"mnuOptions", "&Options...", 520},
    {"mnuViewFile", "&View File", 540, "F11", "View File", "document-preview"},
    {"mnuAntiVirus", "&Anti-virus Scan", 550, "", "Anti-virus Scan", "security-high"},
    {"mnuRepair", "&Repair Zipfile...", 560, "", "Repair Zipfile", "tools-check-spelling"},
    {"mnuTestZipfile", "&Test Zipfile", 0},
    {"mnuHelpFinder", "Help &Finder...", 580},
    {"mnuWhatsThis", "&What's This?", 590, "Shift+F1", "Whats This? Help", "help-contextual"},
    {"mnuVarnel", "&Varnel on the Web", 600},
    {"mnuAbout", "&About...", 630},
    {"popViewFile", "&View", 640},
    {"popUnzipSelected", "&Unzip...", 650},
    {"popRemoveFiles", "&Remove Files", 660},
    {"popPassword", "Pass&word...", 670},
    {"popProperties", "&Properties...", 680},
};

// Menus: a name per item, "-" for a separator.
struct TMenuInfo {
  const char* Name;
  const char* Caption;
  int HelpContext;
  std::initializer_list<const char*> Items;
};

const TMenuInfo kMenus[] = {
    {"mnuFile",
     "&File",
     270,
     {"mnuNew", "mnuOpen", "mnuClose", "-", "mnuUnzip", "mnuRefreshZipfile", "mnuSFX", "-",
      "mnuDeletecurrentzipfile", "mnuDeleteZipfiles", "-", "mnuSend", "mnuProperties", "-",
      "mnuExit"}},
    {"mnuEdit",
     "&Edit",
     390,
     {"mnuAddFiles", "mnuRemoveFiles", "mnuPassword", "-", "mnuSelectAll", "mnuFilter"}},
    {"mnuView",
     "&View",
     440,
     {"mnuToolbar", "mnuGridLines", "-", "mnuLargeIcons", "mnuSmallIcons", "mnuList", "mnuDetails",
      "-", "mnuMaxTextPane", "mnuNameEncoding", "-", "mnuOptions"}},
    {"mnuTools", "&Tools", 530, {"mnuViewFile", "mnuAntiVirus", "mnuRepair", "mnuTestZipfile"}},
    {"mnuHelp", "&Help", 570, {"mnuHelpFinder", "mnuWhatsThis", "-", "mnuVarnel", "-", "mnuAbout"}},
};

// The toolbar, in the order of its pictures.
const char* const kToolbar[] = {
    "mnuNew",
    "mnuOpen",
    "-",
    "mnuUnzip",
    "mnuRefreshZipfile",
    "mnuSFX",
    "-",
    "mnuAddFiles",
    "mnuRemoveFiles",
    "mnuPassword",
    "-",
    "mnuMaxTextPane",
    "mnuViewFile",
    "mnuAntiVirus",
    "mnuRepair",
    "-",
    "mnuWhatsThis",
};

QString PlainCaption(const char* caption) {
  QString text = QString::fromLatin1(caption);
  text.remove(QLatin1Char('&'));
  if (text.endsWith(QLatin1String("..."))) text.chop(3);
  return text;
}

}  // namespace

QAction* TfrmMain::Action(const QString& name) const {
  const auto it = FActions.find(name);
  return it == FActions.end() ? nullptr : it->second;
}

void TfrmMain::CreateActions() {
  for (const TCommandInfo& info : kCommands) {
    auto* action = new QAction(QString::fromLatin1(info.Caption), this);
    action->setObjectName(QLatin1String(info.Name));
    action->setProperty("HelpContext", info.HelpContext);
    action->setShortcut(QKeySequence(QLatin1String(info.Shortcut)));
    const QString hint =
        *info.ButtonHint ? QString::fromLatin1(info.ButtonHint) : PlainCaption(info.Caption);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (*info.Icon) action->setIcon(ThemeIcon(QLatin1String(info.Icon)));
    action->setCheckable(info.Checkable);
    FActions[action->objectName()] = action;
  }
  FViewStyles = new QActionGroup(this);
  for (const char* name : {"mnuLargeIcons", "mnuSmallIcons", "mnuList", "mnuDetails"}) {
    FViewStyles->addAction(Action(QLatin1String(name)));
  }
  FEncodings = new QActionGroup(this);
  for (const auto& info : kNameEncodingMenu) {
    auto* action = new QAction(QString::fromLatin1(info.Caption), this);
    action->setObjectName(QLatin1String(info.ObjectName));
    action->setCheckable(true);
    action->setStatusTip(QStringLiteral("Read the names of members without the UTF-8 flag as ") +
                         PlainCaption(info.Caption));
    FEncodings->addAction(action);
    FActions[action->objectName()] = action;
  }
}

void TfrmMain::CreateMenus() {
  for (const TMenuInfo& info : kMenus) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(info.Caption));
    menu->setObjectName(QLatin1String(info.Name));
    menu->menuAction()->setObjectName(QLatin1String(info.Name));
    menu->menuAction()->setProperty("HelpContext", info.HelpContext);
    menu->setToolTipsVisible(false);
    for (const char* item : info.Items) {
      if (QLatin1String(item) == QLatin1String("-")) {
        menu->addSeparator();
      } else if (QLatin1String(item) == QLatin1String("mnuNameEncoding")) {
        QMenu* encodings = menu->addMenu(QStringLiteral("Name &Encoding"));
        encodings->setObjectName(QStringLiteral("mnuNameEncoding"));
        encodings->addActions(FEncodings->actions());
      } else {
        menu->addAction(Action(QLatin1String(item)));
      }
    }
    if (QLatin1String(info.Name) == QLatin1String("mnuTools")) FToolsMenu = menu;
  }
}

void TfrmMain::CreateToolBar() {
  FToolBar = addToolBar(QStringLiteral("Toolbar"));
  FToolBar->setObjectName(QStringLiteral("tbrMain"));
  FToolBar->setProperty("HelpContext", 220);
  FToolBar->setMovable(false);
  FToolBar->setIconSize(QSize(16, 16));
  FToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (const char* item : kToolbar) {
    if (QLatin1String(item) == QLatin1String("-")) {
      FToolBar->addSeparator();
      continue;
    }
    QAction* action = Action(QLatin1String(item));
    FToolBar->addAction(action);
    QWidget* button = FToolBar->widgetForAction(action);
    // tbNew for mnuNew, and so on; the refresh button is tbRefresh.
    QString name = action->objectName().mid(3);
    if (name == QLatin1String("RefreshZipfile")) name = QStringLiteral("Refresh");
    button->setObjectName(QStringLiteral("tb") + name);
    button->setProperty("HelpContext", action->property("HelpContext"));
  }
}

void TfrmMain::CreatePopupMenu() {
  FPopup = new QMenu(this);
  FPopup->setObjectName(QStringLiteral("popFileView"));
  for (const char* name :
       {"popViewFile", "popUnzipSelected", "popRemoveFiles", "popPassword", "popProperties"}) {
    FPopup->addAction(Action(QLatin1String(name)));
  }
  FPopup->setDefaultAction(Action(QStringLiteral("popViewFile")));
}

// "Format..." lists the floppy-style drives; Linux has none of those on most
// machines, and then the submenu is not made at all.
void TfrmMain::BuildFormatMenu() {
  std::vector<std::string> floppies;
  for (const std::string& root : FApp.Platform.Drives.MountPoints()) {
    if (FApp.Platform.Drives.IsFloppy(root)) floppies.push_back(root);
  }
  if (floppies.empty()) return;
  FToolsMenu->addSeparator();
  QMenu* format = FToolsMenu->addMenu(QStringLiteral("Format..."));
  format->setObjectName(QStringLiteral("mnuFormat"));
  format->menuAction()->setObjectName(QStringLiteral("mnuFormat"));
  format->menuAction()->setProperty("HelpContext", 1960);
  for (std::size_t n = 0; n < floppies.size(); ++n) {
    QAction* item = format->addAction(QString::fromStdString(floppies[n]));
    item->setObjectName(QStringLiteral("mnuDrive_%1").arg(n));
    item->setProperty("DriveNumber", static_cast<int>(n));
    connect(item, &QAction::triggered, this,
            [this, drive = floppies[n]] { Guarded([&] { mnuFormatClick(drive); }); });
  }
}

void TfrmMain::ConnectCommands() {
  // Every handler runs guarded: an exception must never leave a Qt slot.
  const auto on = [this](const char* name, auto slot) {
    connect(Action(QLatin1String(name)), &QAction::triggered, this, [this, slot](bool checked) {
      Guarded([&] {
        if constexpr (std::is_invocable_v<decltype(slot), bool>) {
          slot(checked);
        } else {
          slot();
        }
      });
    });
  };
  on("mnuExit", [this] { close(); });
  on("mnuOpen", [this] { mnuOpenClick(); });
  on("mnuClose", [this] { mnuCloseClick(); });
  on("mnuSelectAll", [this] { mnuSelectAllClick(); });
  on("mnuFilter", [this] { FocusFilter(); });
  on("mnuToolbar", [this](bool visible) { SetToolBarVisible(visible); });
  on("mnuGridLines", [this](bool shown) { SetGridLines(shown); });
  on("mnuMaxTextPane", [this] { ToggleMaxTextPane(); });
  on("mnuAntiVirus", [this] { ScanArchive(false); });
  on("mnuWhatsThis", [] { QWhatsThis::enterWhatsThisMode(); });
  const char* const styles[] = {"mnuLargeIcons", "mnuSmallIcons", "mnuList", "mnuDetails"};
  for (int style = 0; style < 4; ++style) {
    on(styles[style], [this, style] { SetViewStyle(style); });
  }
  for (const auto& info : kNameEncodingMenu) {
    on(info.ObjectName, [this, encoding = info.Encoding] { ApplyNameEncoding(encoding); });
  }
  connect(FFiles, &TFileView::SelectionChanged, this, [this] { lvFilesChange(); });
  ConnectArchiveCommands();
}

void TfrmMain::UpdateCommands() {
  const bool open = FTree && FTree->NodeCount() > 0;
  const bool whole = open && !IsMultiDisk();
  const bool modifiable = whole && !FOpInfo.IsSFX;
  const auto enable = [this](std::initializer_list<const char*> names, bool on) {
    for (const char* name : names) Action(QLatin1String(name))->setEnabled(on);
  };
  enable({"mnuClose", "mnuUnzip", "mnuTestZipfile"}, open);
  enable({"mnuRefreshZipfile"}, modifiable && FHasFolderRecord);
  enable({"mnuSFX"}, modifiable);
  enable({"mnuDeletecurrentzipfile", "mnuSend", "mnuProperties"}, whole);
  enable({"mnuAddFiles", "mnuPassword", "popRemoveFiles", "popPassword"}, modifiable);
  enable({"mnuAntiVirus"}, !FAppInfo.AntiVirus.empty());
  lvFilesChange();
}

// Remove Files and View File follow the selection.
void TfrmMain::lvFilesChange() {
  const bool selected = !FFiles->SelectedRows().empty();
  Action(QStringLiteral("mnuRemoveFiles"))
      ->setEnabled(selected && !IsMultiDisk() && !FOpInfo.IsSFX);
  Action(QStringLiteral("mnuViewFile"))->setEnabled(selected && !FAppInfo.FileViewer.empty());
}

}  // namespace vz
