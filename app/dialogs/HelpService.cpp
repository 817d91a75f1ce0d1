#include "app/dialogs/HelpService.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QHelpEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QVariant>
#include <QWhatsThis>

namespace vz {
namespace {

// The main window's controls and actions carry the same property.
constexpr char kHelpContextProperty[] = "HelpContext";

// Catches What's This requests anywhere in one dialog: the title-bar button
// starts the mode; the control then clicked asks for its topic.
class TWhatsThisRouter : public QObject {
 public:
  TWhatsThisRouter(QDialog& dialog, IHelpService& help) : QObject(&dialog), FHelp(help) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnterWhatsThisMode) {
      QWhatsThis::enterWhatsThisMode();
      return true;
    }
    if (event->type() != QEvent::WhatsThis || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    const int context = HelpContextOf(widget);
    const QString text = FHelp.TopicText(context);
    if (text.isEmpty()) {
      FHelp.ShowTopic(context);
    } else {
      QWhatsThis::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, widget);
    }
    // Accepted, so that no parent asks again. The mode ends once the click
    // is through: ending it here would delete the filter that sent this.
    event->accept();
    QTimer::singleShot(0, qApp, [] {
      if (QWhatsThis::inWhatsThisMode()) QWhatsThis::leaveWhatsThisMode();
    });
    return true;
  }

  // Every widget of the dialog as it stands now.
  void Watch(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children()) {
      if (child->isWidgetType()) Watch(child);
    }
  }

 private:
  IHelpService& FHelp;
};

}  // namespace

void SetHelpContext(QWidget* widget, int context) {
  widget->setProperty(kHelpContextProperty, context);
}

int HelpContextOf(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const QVariant value = w->property(kHelpContextProperty);
    if (value.isValid()) return value.toInt();
  }
  return 0;
}

void InstallDialogHelp(QDialog& dialog, IHelpService& help, int context) {
  SetHelpContext(&dialog, context);
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, true);
  auto* f1 = new QShortcut(QKeySequence::HelpContents, &dialog);
  QObject::connect(f1, &QShortcut::activated, &dialog, [&dialog, &help] {
    const QWidget* focus = dialog.focusWidget();
    help.ShowTopic(HelpContextOf(focus != nullptr ? focus : &dialog));
  });
  // Few Linux window managers draw the title bar's help button; Shift+F1
  // starts the same mode.
  auto* whatsThis = new QShortcut(QKeySequence::WhatsThis, &dialog);
  QObject::connect(whatsThis, &QShortcut::activated, &dialog,
                   [] { QWhatsThis::enterWhatsThisMode(); });
  auto* router = new TWhatsThisRouter(dialog, help);
  router->Watch(&dialog);
}

}  // namespace vz
