#pragma once

#include <QString>
#include <QUuid>

#include <vector>

namespace larkfold {

// One topic of the how-it-works window.
struct LearnTopic {
    QUuid id;
    QString icon; // a symbol name (Theme::symbol)
    QString title;
    QString subtitle;
    QString explanation;
};

// The topics in the order shown; every call gives fresh ids.
std::vector<LearnTopic> learnTopics();

} // namespace larkfold
