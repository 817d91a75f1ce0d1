// The help: a topic for every help context number, links that lead to
// topics, contents and search in the help window, F1 and What's This in the
// main window and in a dialog, and the menu hints in the status bar.
#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <QTreeWidget>
#include <QWhatsThis>
#include <set>

#include "app/HelpTopics.h"
#include "app/HelpWindow.h"
#include "app/dialogs/frmOptions.h"
#include "tests/app/window/WindowFixture.h"

namespace vz::test {
namespace {

// Every context number the commands, the window's parts and the dialogs use.
const int kContexts[] = {210,  220,  230,  240,  250,  260,  270,  280,  290, 300, 310,  320,
                         330,  340,  350,  360,  370,  380,  390,  400,  410, 420, 430,  440,
                         450,  460,  470,  480,  490,  500,  510,  520,  530, 540, 550,  560,
                         570,  580,  590,  600,  630,  640,  650,  660,  670, 680, 1960, 1970,
                         1990, 2000, 2010, 2020, 2040, 2050, 2090, 2120, 2130};

class HelpContext : public ::testing::TestWithParam<int> {};

TEST_P(HelpContext, HasATopicTheHelpWindowShows) {
  const int context = GetParam();
  const THelpTopic* topic = FindHelpTopic(context);
  ASSERT_NE(topic, nullptr) << context;
  EXPECT_FALSE(topic->Title.isEmpty());
  THelpWindow window;
  window.ShowTopic(context);
  ASSERT_NE(window.CurrentTopic(), nullptr);
  EXPECT_EQ(window.CurrentTopic()->Context, context);
  EXPECT_EQ(window.Browser().documentTitle(), topic->Title);
  EXPECT_GT(window.Browser().toPlainText().size(), topic->Title.size() + 40);
  EXPECT_TRUE(HelpTopicText(context).contains(topic->Title.toHtmlEscaped()));
}

INSTANTIATE_TEST_SUITE_P(Contexts, HelpContext, ::testing::ValuesIn(kContexts));

TEST(HelpTopics, EveryTopicIsListedAndEveryLinkLeadsToOne) {
  std::set<int> listed;
  for (const THelpTopic& topic : HelpTopics()) {
    if (topic.Context != 0) listed.insert(topic.Context);
    static const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
    for (const auto& match : link.globalMatch(HelpTopicHtml(topic))) {
      EXPECT_NE(FindHelpFile(match.captured(1)), nullptr)
          << topic.File.toStdString() << " -> " << match.captured(1).toStdString();
    }
  }
  EXPECT_EQ(listed, std::set<int>(std::begin(kContexts), std::end(kContexts)));
  EXPECT_EQ(FindHelpTopic(12345), nullptr);
  EXPECT_TRUE(HelpTopicText(12345).isEmpty());
}

TEST(HelpTopics, SearchNeedsEveryWord) {
  const auto contexts = [](const QString& words) {
    std::set<int> found;
    for (const THelpTopic* topic : SearchHelp(words)) found.insert(topic->Context);
    return found;
  };
  const std::set<int> trash = contexts(QStringLiteral("TRASH"));
  EXPECT_TRUE(trash.contains(340) && trash.contains(350));
  EXPECT_FALSE(trash.contains(310));
  const std::set<int> both = contexts(QStringLiteral("trash  confirm"));
  EXPECT_TRUE(both.contains(340));
  for (int context : both) EXPECT_TRUE(trash.contains(context));
  EXPECT_TRUE(contexts(QStringLiteral("trash xyzzy")).empty());
  EXPECT_TRUE(SearchHelp(QStringLiteral("   ")).empty());
}

TEST(HelpWindow, ContentsSearchAndLinksStayTogether) {
  THelpWindow window;
  auto* contents = window.findChild<QTreeWidget*>(QStringLiteral("tvContents"));
  int items = 0;
  for (QTreeWidgetItemIterator it(contents); *it != nullptr; ++it) {
    if ((*it)->childCount() == 0) ++items;
  }
  EXPECT_EQ(items, static_cast<int>(HelpTopics().size()));

  window.Search(QStringLiteral("password"));
  auto* results = window.findChild<QListWidget*>(QStringLiteral("lstResults"));
  ASSERT_GT(results->count(), 2);
  results->setCurrentRow(0);
  EXPECT_EQ(window.CurrentTopic()->Title, results->item(0)->text());

  window.ShowTopic(540);
  window.Browser().setSource(QUrl(QStringLiteral("2020.html")));  // a link of the topic
  EXPECT_EQ(window.CurrentTopic()->Context, 2020);
  EXPECT_EQ(contents->currentItem()->text(0), FindHelpTopic(2020)->Title);
  window.Browser().backward();
  EXPECT_EQ(window.CurrentTopic()->Context, 540);

  window.ShowTopic(0);  // no topic: the welcome page and the contents
  EXPECT_EQ(window.CurrentTopic(), &WelcomeTopic());
}

TEST(HelpWindow, RendersAsAPicture) {
  THelpService help;
  help.ShowTopic(540);
  THelpWindow& window = help.Window();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.testAttribute(Qt::WA_QuitOnClose));  // never keeps the program running
  window.ShowSearch();
  window.Search(QStringLiteral("viewer"));
  ASSERT_TRUE(QDir().mkpath(QStringLiteral(VZ_SCREENSHOT_DIR)));
  EXPECT_TRUE(window.grab().save(QStringLiteral(VZ_SCREENSHOT_DIR "/THelpWindow.png")));
}

// ---- the main window ----

TEST_F(WindowFixture, F1OpensTheTopicOfTheFocusedControl) {
  TfrmMain& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  const std::pair<const char*, int> parts[] = {
      {"tvFolders", 230}, {"lvFilesDetails", 240}, {"edtFilter", 240}, {"redTextViewer", 250}};
  std::vector<int> expected;
  for (const auto& [name, context] : parts) {
    auto* control = window.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(control, nullptr) << name;
    control->setFocus();
    QTest::keyClick(control, Qt::Key_F1);
    expected.push_back(context);
  }
  EXPECT_EQ(Help.Topics, expected);
}

TEST_F(WindowFixture, F1InAnOpenMenuOpensTheTopicOfItsCommand) {
  TfrmMain& window = MakeWindow();
  window.show();
  auto* menu = window.findChild<QMenu*>(QStringLiteral("mnuTools"));
  menu->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QTest::keyClick(menu, Qt::Key_F1);    // no command under the mouse: the menu's topic
  QTest::keyClick(menu, Qt::Key_Down);  // the first enabled command: Repair
  ASSERT_EQ(menu->activeAction(), window.Action(QStringLiteral("mnuRepair")));
  QTest::keyClick(menu, Qt::Key_F1);
  EXPECT_EQ(Help.Topics, (std::vector<int>{530, 560}));
  menu->close();
}

TEST_F(WindowFixture, WhatsThisShowsTheTopicOfTheControlClicked) {
  TfrmMain& window = MakeWindow();
  EXPECT_TRUE(window.Action(QStringLiteral("mnuUnzip"))->whatsThis().contains("extracts files"));
  EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("tbUnzip"))
                  ->whatsThis()
                  .contains("extracts files"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.Action(QStringLiteral("mnuWhatsThis"))->trigger();
  ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
  auto* tree = window.findChild<QTreeView*>(QStringLiteral("tvFolders"));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
  QWidget* popup = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("QWhatsThat") && widget->isVisible()) popup = widget;
  }
  ASSERT_NE(popup, nullptr);
  QWhatsThis::hideText();
  EXPECT_TRUE(Help.Topics.empty());  // the text, not the help window
}

TEST_F(WindowFixture, MenuHintsAppearInTheStatusBar) {
  TfrmMain& window = MakeWindow();
  window.show();
  QAction* action = window.Action(QStringLiteral("mnuRepair"));
  // As a menu shows the hint of the command under the mouse.
  action->showStatusText(window.menuBar());
  EXPECT_EQ(window.statusBar()->currentMessage(), "Repair Zipfile");
}

// In a dialog, What's This shows the topic's text when the service has it.
TEST_F(WindowFixture, DialogsShowTheTopicTextOfTheRealHelp) {
  THelpService help;
  TfrmOptions form(App, help);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QEvent enter(QEvent::EnterWhatsThisMode);
  QApplication::sendEvent(&form, &enter);
  ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
  QTest::mouseClick(form.findChild<QWidget*>(QStringLiteral("chkPasswordChar")), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([] { return !QWhatsThis::inWhatsThisMode(); }));
  bool shown = false;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    shown = shown || (widget->inherits("QWhatsThat") && widget->isVisible());
  }
  EXPECT_TRUE(shown);
  QWhatsThis::hideText();
  EXPECT_TRUE(help.TopicText(2130).contains("Options: General"));
}

}  // namespace
}  // namespace vz::test
