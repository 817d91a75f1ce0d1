#include "app/HelpTopics.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextDocument>
#include <algorithm>

// The topics live in a static library, whose resources register only when
// asked to.
static void RegisterHelpResources() {
  Q_INIT_RESOURCE(help);
}

namespace vz {
namespace {

struct TGroup {
  const char* Title;
  std::vector<int> Contexts;
};

// The contents: each group's topics in menu order.
const TGroup kGroups[] = {
    {"The main window", {230, 240, 250, 260, 210, 220}},
    {"File menu", {270, 280, 290, 300, 310, 320, 330, 340, 350, 360, 370, 380}},
    {"Edit menu", {390, 400, 410, 420, 430}},
    {"View menu", {440, 450, 460, 470, 480, 490, 500, 510, 520}},
    {"Tools menu", {530, 540, 550, 560, 1960}},
    {"Help menu", {570, 580, 590, 600, 630}},
    {"Pop-up menu of the file list", {640, 650, 660, 670, 680}},
    {"Dialogs", {2000, 1970, 2010, 1990, 2040, 2090, 2120, 2130, 2050, 2020}},
};

QString ReadResource(const QString& file) {
  QFile resource(QStringLiteral(":/help/") + file);
  if (!resource.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(resource.readAll());
}

QString TitleOf(const QString& html) {
  static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
  return title.match(html).captured(1);
}

THelpTopic MakeTopic(int context, const QString& file, const char* group) {
  return {context, file, TitleOf(ReadResource(file)), QString::fromLatin1(group)};
}

std::vector<THelpTopic> LoadTopics() {
  RegisterHelpResources();
  std::vector<THelpTopic> topics;
  topics.push_back(MakeTopic(0, QStringLiteral("index.html"), "Varnel Zip"));
  for (const TGroup& group : kGroups) {
    for (int context : group.Contexts) {
      topics.push_back(
          MakeTopic(context, QString::number(context) + QStringLiteral(".html"), group.Title));
    }
  }
  topics.push_back(MakeTopic(0, QStringLiteral("mail.html"), "Setting up"));
  return topics;
}

QString PlainText(const QString& html) {
  QTextDocument document;
  document.setHtml(html);
  return document.toPlainText();
}

}  // namespace

const std::vector<THelpTopic>& HelpTopics() {
  static const std::vector<THelpTopic> topics = LoadTopics();
  return topics;
}

const THelpTopic* FindHelpTopic(int context) {
  if (context == 0) return nullptr;
  const auto& topics = HelpTopics();
  const auto it = std::find_if(topics.begin(), topics.end(),
                               [context](const THelpTopic& t) { return t.Context == context; });
  return it == topics.end() ? nullptr : &*it;
}

const THelpTopic* FindHelpFile(const QString& file) {
  const auto& topics = HelpTopics();
  const auto it = std::find_if(topics.begin(), topics.end(),
                               [&file](const THelpTopic& t) { return t.File == file; });
  return it == topics.end() ? nullptr : &*it;
}

const THelpTopic& WelcomeTopic() {
  return HelpTopics().front();
}

QUrl HelpTopicUrl(const THelpTopic& topic) {
  return QUrl(QStringLiteral("qrc:/help/") + topic.File);
}

QString HelpTopicHtml(const THelpTopic& topic) {
  return ReadResource(topic.File);
}

QString HelpTopicText(int context) {
  const THelpTopic* topic = FindHelpTopic(context);
  if (topic == nullptr) return {};
  static const QRegularExpression firstParagraph(QStringLiteral("<p>(.*?)</p>"),
                                                 QRegularExpression::DotMatchesEverythingOption);
  const QString paragraph = firstParagraph.match(HelpTopicHtml(*topic)).captured(1);
  return QStringLiteral("<b>%1</b><p>%2</p>").arg(topic->Title.toHtmlEscaped(), paragraph);
}

std::vector<const THelpTopic*> SearchHelp(const QString& words) {
  const QStringList wanted =
      words.simplified().toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (wanted.isEmpty()) return {};
  std::vector<std::pair<int, const THelpTopic*>> found;
  for (const THelpTopic& topic : HelpTopics()) {
    const QString text = PlainText(HelpTopicHtml(topic)).toLower();
    int mentions = 0;
    for (const QString& word : wanted) {
      const int count = static_cast<int>(text.count(word));
      if (count == 0) {
        mentions = 0;
        break;
      }
      mentions += count;
    }
    if (mentions > 0) found.emplace_back(mentions, &topic);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<const THelpTopic*> result;
  for (const auto& [mentions, topic] : found) result.push_back(topic);
  return result;
}

}  // namespace vz
