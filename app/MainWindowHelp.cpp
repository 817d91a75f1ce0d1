// TfrmMain: help on the window itself. F1 opens the topic of the control
// with the focus, or in an open menu the topic of the command under the
// mouse; What's This shows the first paragraph of the topic of whatever is
// clicked next. Menu hints reach the status bar as the actions' status tips.
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>

#include "app/HelpTopics.h"
#include "app/MainWindow.h"
#include "app/dialogs/HelpService.h"

namespace vz {
namespace {

constexpr int kFileListContext = 240;

int ActionContext(const QAction* action) {
  return action != nullptr ? action->property("HelpContext").toInt() : 0;
}

// F1 while a menu is open: the menu grabs the keyboard, so the window's
// own shortcut never sees it.
class TMenuHelp : public QObject {
 public:
  TMenuHelp(QObject* parent, IHelpService& help) : QObject(parent), FHelp(help) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
      return false;
    }
    auto* menu = qobject_cast<QMenu*>(watched);
    if (menu == nullptr) return false;
    const int context = ActionContext(menu->activeAction());
    FHelp.ShowTopic(context != 0 ? context : ActionContext(menu->menuAction()));
    return true;
  }

 private:
  IHelpService& FHelp;
};

}  // namespace

void TfrmMain::InstallHelp() {
  SetHelpContext(FFilter, kFileListContext);
  for (QAction* action : findChildren<QAction*>()) {
    if (const int context = ActionContext(action); context != 0) {
      action->setWhatsThis(HelpTopicText(context));
    }
  }
  for (QWidget* widget : findChildren<QWidget*>()) {
    const int context = widget->property("HelpContext").toInt();
    if (context != 0) widget->setWhatsThis(HelpTopicText(context));
  }
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [this] {
    const QWidget* focus = focusWidget();
    FHelp->ShowTopic(HelpContextOf(focus != nullptr ? focus : this));
  });
  auto* menuHelp = new TMenuHelp(this, *FHelp);
  for (QMenu* menu : findChildren<QMenu*>()) menu->installEventFilter(menuHelp);
}

}  // namespace vz
