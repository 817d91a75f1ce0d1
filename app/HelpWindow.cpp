#include "app/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/HelpTopics.h"
#include "app/Icons.h"

namespace vz {
namespace {

constexpr int kFileRole = Qt::UserRole + 1;

const char kStyleSheet[] =
    "h2 { margin-bottom: 6px; }"
    "p { margin-top: 4px; margin-bottom: 6px; }"
    "p.see { color: #505050; }";

QTreeWidgetItem* FindItem(QTreeWidget& tree, const QString& file) {
  for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
    if ((*it)->data(0, kFileRole).toString() == file) return *it;
  }
  return nullptr;
}

}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmHelp"));
  // Closing the main window ends the program even while help is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Varnel Zip Help"));
  setWindowIcon(AppIcon());

  tvContents = new QTreeWidget;
  tvContents->setObjectName(QStringLiteral("tvContents"));
  tvContents->setHeaderHidden(true);
  tvContents->setRootIsDecorated(true);
  QTreeWidgetItem* group = nullptr;
  for (const THelpTopic& topic : HelpTopics()) {
    if (topic.File == QLatin1String("index.html")) {
      auto* item = new QTreeWidgetItem(tvContents, {topic.Title});
      item->setData(0, kFileRole, topic.File);
      continue;
    }
    if (group == nullptr || group->text(0) != topic.Group) {
      group = new QTreeWidgetItem(tvContents, {topic.Group});
      group->setFlags(Qt::ItemIsEnabled);
    }
    auto* item = new QTreeWidgetItem(group, {topic.Title});
    item->setData(0, kFileRole, topic.File);
  }

  edtSearch = new QLineEdit;
  edtSearch->setObjectName(QStringLiteral("edtSearch"));
  edtSearch->setPlaceholderText(QStringLiteral("Words to find"));
  edtSearch->setClearButtonEnabled(true);
  lstResults = new QListWidget;
  lstResults->setObjectName(QStringLiteral("lstResults"));
  auto* searchPage = new QWidget;
  searchPage->setObjectName(QStringLiteral("tsSearch"));
  auto* searchLayout = new QVBoxLayout(searchPage);
  searchLayout->addWidget(new QLabel(QStringLiteral("&Type the words to find:")));
  searchLayout->addWidget(edtSearch);
  searchLayout->addWidget(lstResults, 1);
  static_cast<QLabel*>(searchLayout->itemAt(0)->widget())->setBuddy(edtSearch);

  FTabs = new QTabWidget;
  FTabs->setObjectName(QStringLiteral("PageControl"));
  FTabs->addTab(tvContents, QStringLiteral("&Contents"));
  FTabs->addTab(searchPage, QStringLiteral("&Search"));

  brwTopic = new QTextBrowser;
  brwTopic->setObjectName(QStringLiteral("brwTopic"));
  brwTopic->setOpenExternalLinks(true);
  brwTopic->document()->setDefaultStyleSheet(QString::fromLatin1(kStyleSheet));

  auto* tools = new QToolBar;
  tools->setObjectName(QStringLiteral("tbrHelp"));
  tools->setIconSize(QSize(16, 16));
  tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QAction* back = tools->addAction(ThemeIcon(QStringLiteral("go-previous")),
                                   QStringLiteral("&Back"), brwTopic, &QTextBrowser::backward);
  QAction* forward = tools->addAction(ThemeIcon(QStringLiteral("go-next")),
                                      QStringLiteral("&Forward"), brwTopic, &QTextBrowser::forward);
  tools->addAction(ThemeIcon(QStringLiteral("go-home")), QStringLiteral("&Home"), this,
                   [this] { Open(WelcomeTopic()); });
  back->setEnabled(false);
  forward->setEnabled(false);
  connect(brwTopic, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(brwTopic, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->addWidget(FTabs);
  splitter->addWidget(brwTopic);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({230, 470});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(tools);
  layout->addWidget(splitter, 1);
  resize(760, 520);

  connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const THelpTopic* topic =
        item != nullptr ? FindHelpFile(item->data(0, kFileRole).toString()) : nullptr;
    if (topic != nullptr && topic != CurrentTopic()) Open(*topic);
  });
  connect(edtSearch, &QLineEdit::textChanged, this, &THelpWindow::Search);
  connect(lstResults, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    const THelpTopic* topic =
        item != nullptr ? FindHelpFile(item->data(kFileRole).toString()) : nullptr;
    if (topic != nullptr) Open(*topic);
  });
  connect(brwTopic, &QTextBrowser::sourceChanged, this, &THelpWindow::SourceChanged);
  Open(WelcomeTopic());
}

void THelpWindow::ShowTopic(int Context) {
  const THelpTopic* topic = FindHelpTopic(Context);
  if (topic == nullptr) ShowContents();
  Open(topic != nullptr ? *topic : WelcomeTopic());
}

void THelpWindow::ShowContents() {
  FTabs->setCurrentWidget(tvContents);
}

void THelpWindow::ShowSearch() {
  FTabs->setCurrentIndex(1);
  edtSearch->setFocus();
}

void THelpWindow::Search(const QString& words) {
  if (edtSearch->text() != words) edtSearch->setText(words);
  lstResults->clear();
  for (const THelpTopic* topic : SearchHelp(words)) {
    auto* item = new QListWidgetItem(topic->Title, lstResults);
    item->setData(kFileRole, topic->File);
  }
}

const THelpTopic* THelpWindow::CurrentTopic() const {
  return FindHelpFile(brwTopic->source().fileName());
}

void THelpWindow::Open(const THelpTopic& topic) {
  if (CurrentTopic() != &topic) brwTopic->setSource(HelpTopicUrl(topic));
}

// Links between topics move the contents' selection along.
void THelpWindow::SourceChanged(const QUrl& url) {
  QTreeWidgetItem* item = FindItem(*tvContents, url.fileName());
  if (item == nullptr) return;
  const QSignalBlocker quiet(tvContents);
  tvContents->setCurrentItem(item);
  tvContents->scrollToItem(item);
}

THelpService::THelpService() = default;

THelpService::~THelpService() = default;

THelpWindow& THelpService::Window() {
  if (!FWindow) FWindow = std::make_unique<THelpWindow>();
  return *FWindow;
}

void THelpService::ShowTopic(int Context) {
  Window().ShowTopic(Context);
  Raise();
}

QString THelpService::TopicText(int Context) {
  return HelpTopicText(Context);
}

void THelpService::ShowContents() {
  Window().ShowContents();
  Raise();
}

void THelpService::Raise() {
  FWindow->show();
  FWindow->raise();
  FWindow->activateWindow();
}

}  // namespace vz
