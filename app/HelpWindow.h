// The help window: the topics of HelpTopics in a browser, with their
// contents and a word search beside it, and THelpService, through which F1,
// the Help buttons, Help Finder and What's This reach it. One window serves
// the whole run; it is made when first asked for.
#pragma once

#include <QWidget>
#include <memory>

#include "app/dialogs/HelpService.h"

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace vz {

struct THelpTopic;

class THelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* parent = nullptr);

  // Shows the topic (the welcome page for a number without one).
  void ShowTopic(int Context);
  void ShowContents();
  void ShowSearch();
  // Lists the topics that hold every word of `words`.
  void Search(const QString& words);

  // The topic on show, or nullptr.
  const THelpTopic* CurrentTopic() const;
  QTextBrowser& Browser() const { return *brwTopic; }

 private:
  void Open(const THelpTopic& topic);
  void SourceChanged(const QUrl& url);

  QTabWidget* FTabs = nullptr;
  QTreeWidget* tvContents = nullptr;
  QLineEdit* edtSearch = nullptr;
  QListWidget* lstResults = nullptr;
  QTextBrowser* brwTopic = nullptr;
};

class THelpService : public IHelpService {
 public:
  THelpService();
  ~THelpService() override;

  void ShowTopic(int Context) override;
  QString TopicText(int Context) override;
  // Help Finder: the window with its contents.
  void ShowContents();
  // The window, made when first asked for.
  THelpWindow& Window();

 private:
  void Raise();
  std::unique_ptr<THelpWindow> FWindow;
};

}  // namespace vz
