// The help of the windowed program as the dialogs reach it: one topic per
// context number. Help buttons, F1 and the title bar's What's This button
// all end in ShowTopic; the help window itself is another part's business.
#pragma once

#include <QString>
#include <vector>

class QDialog;
class QWidget;

namespace vz {

class IHelpService {
 public:
  virtual ~IHelpService() = default;
  // Shows the topic of `Context` (an unknown number shows the contents).
  virtual void ShowTopic(int Context) = 0;
  // What's This text of `Context` (rich text); empty when the service has
  // none, and What's This then opens the topic instead.
  virtual QString TopicText([[maybe_unused]] int Context) { return {}; }
};

// Keeps the numbers asked for; for tests, and until the help window exists.
class TRecordingHelpService : public IHelpService {
 public:
  void ShowTopic(int Context) override { Topics.push_back(Context); }
  std::vector<int> Topics;
};

// The help context of a widget: its own, else its nearest ancestor's; 0
// when none has one.
void SetHelpContext(QWidget* widget, int context);
int HelpContextOf(const QWidget* widget);

// Gives the dialog its help context, the title bar's What's This button, F1
// for the focused control's topic, and What's This mode (from that button or
// Shift+F1): the next control clicked shows the text of its context's topic
// (or opens the topic, when the service has no text). Call it once the
// dialog's widgets are made.
void InstallDialogHelp(QDialog& dialog, IHelpService& help, int context);

}  // namespace vz
