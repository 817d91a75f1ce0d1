// The program's help: one HTML topic per help context number, shipped as Qt
// resources (app/help/<context>.html, plus the welcome page and topics
// without a number), listed in contents order under their groups. A topic's
// title is its <title>; its What's This text is its heading and first
// paragraph.
#pragma once

#include <QString>
#include <QUrl>
#include <vector>

namespace vz {

struct THelpTopic {
  int Context = 0;  // 0 for a topic no control opens by number
  QString File;     // "540.html"
  QString Title;
  QString Group;  // the contents heading it is listed under
};

// Every topic in contents order, the welcome page first.
const std::vector<THelpTopic>& HelpTopics();
// The topic of a context number, or nullptr.
const THelpTopic* FindHelpTopic(int context);
// The topic of a file name ("540.html"), or nullptr.
const THelpTopic* FindHelpFile(const QString& file);
const THelpTopic& WelcomeTopic();

QUrl HelpTopicUrl(const THelpTopic& topic);
QString HelpTopicHtml(const THelpTopic& topic);
// Rich text for What's This: the topic's heading and first paragraph;
// empty when the number has no topic.
QString HelpTopicText(int context);

// The topics whose text holds every word of `words` (case ignored), the
// most mentions first; nothing for no words.
std::vector<const THelpTopic*> SearchHelp(const QString& words);

}  // namespace vz
