#include "status/LearnTopic.h"
#include "status/LearnView.h"

#include "support/EventLoop.h"
#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::spinUntil;

namespace {

std::vector<QWidget*> topicRows(const LearnView& view)
{
    std::vector<QWidget*> rows;
    for (QWidget* child : view.widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->inherits("larkfold::TopicRow"))
            rows.push_back(child);
    }
    return rows;
}

QStringList headerTexts(const QWidget& row)
{
    QStringList texts;
    for (const QLabel* label : row.findChild<QWidget*>("topicHeader")->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts << label->text();
    }
    return texts;
}

bool isExpanded(const QWidget* row)
{
    return row->property("expanded").toBool();
}

// Done when the chevron has turned and the explanation has faded all the way in or out.
bool settled(const QWidget* row)
{
    const QLabel* explanation = row->findChild<QLabel*>("explanation");
    const double degrees = row->property("chevronDegrees").toDouble();
    return isExpanded(row) ? degrees == 90 && explanation->isVisible() : degrees == 0 && !explanation->isVisible();
}

} // namespace

TEST(LearnView, ListsTheTopicsInOrder)
{
    LearnView view;
    view.show();
    EXPECT_EQ(view.windowTitle(), "How Larkfold Works");
    EXPECT_EQ(view.size(), QSize(400, 520));
    const std::vector<QStringList> expected = {
        {"Safe Copies", "Your files are never half-written."},
        {"Copy Verification", "Every file is checked after copying."},
        {"Bit Rot Detection", "Catches silent corruption before it's too late."},
        {"Disconnect Protection", "Yanking a cable won't destroy your backup."},
        {"Quiet Mode", "Backups never slow down your computer."},
        {"Battery Awareness", "Won't drain your battery."},
        {"Large File Handling", "Videos and big files are handled with care."},
        {"Safe Deletion", "Deleted files aren't gone immediately."},
        {"Path Safety", "We won't let you back up to the wrong place."},
    };
    const auto rows = topicRows(view);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(headerTexts(*rows[i]), expected[i]);
        EXPECT_FALSE(isExpanded(rows[i]));
        EXPECT_FALSE(rows[i]->findChild<QLabel*>("explanation")->isVisible());
    }
    larkfold::test::saveScreenshot(view, "learn-closed");
    EXPECT_LOOKS_AS_REFERENCE(view, "status", "learn-closed");
}

TEST(LearnView, TopicsAreWrittenForThisDesktop)
{
    const auto topics = learnTopics();
    QSet<QUuid> ids;
    for (const LearnTopic& topic : topics) {
        SCOPED_TRACE(topic.title.toStdString());
        ids.insert(topic.id);
        for (const char* foreign : {"Mac", "Finder", "iCloud", " - ", "--", "\u2019"})
            EXPECT_FALSE(topic.explanation.contains(QString::fromUtf8(foreign)) ||
                         topic.subtitle.contains(QString::fromUtf8(foreign)))
                << foreign;
    }
    for (const LearnTopic& topic : learnTopics())
        ids.insert(topic.id);
    EXPECT_EQ(ids.size(), 2 * topics.size()); // fresh ids every time the list is built
}

TEST(LearnView, AClickAnywhereOnTheHeaderLineOpensAndClosesTheTopic)
{
    LearnView view;
    view.show();
    QWidget* row = topicRows(view).at(2);
    auto* header = row->findChild<QAbstractButton*>("topicHeader");
    ASSERT_TRUE(header);
    const auto labels = header->findChildren<QLabel*>();
    int textsRight = 0;
    for (const QLabel* label : labels)
        textsRight = std::max(textsRight, label->geometry().right());
    const QPoint places[] = {
        {4, header->height() / 2},                                           // on the symbol
        {(textsRight + header->width() - 16) / 2, header->height() / 2},     // the empty space before the chevron
        {header->width() - 4, header->height() / 2},                         // on the chevron
        {header->width() / 2, 2},                                             // in the padding above the texts
    };
    bool open = false;
    for (const QPoint& place : places) {
        SCOPED_TRACE(place.x());
        QTest::mouseClick(header, Qt::LeftButton, {}, place);
        open = !open;
        EXPECT_EQ(isExpanded(row), open);
        EXPECT_TRUE(spinUntil([&] { return settled(row); }));
        if (open) {
            const QLabel* explanation = row->findChild<QLabel*>("explanation");
            EXPECT_GE(explanation->height(), explanation->heightForWidth(explanation->width()));
            EXPECT_GE(explanation->x(), 34);
        }
    }
}

TEST(LearnView, SeveralTopicsStayOpenAndTheListScrolls)
{
    LearnView view;
    view.show();
    const auto rows = topicRows(view);
    QTest::mouseClick(rows[0]->findChild<QAbstractButton*>("topicHeader"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return settled(rows[0]); }));
    larkfold::test::saveScreenshot(view, "learn-one-open");
    EXPECT_LOOKS_AS_REFERENCE(view, "status", "learn-one-open");

    for (QWidget* row : rows) {
        if (!isExpanded(row))
            QTest::mouseClick(row->findChild<QAbstractButton*>("topicHeader"), Qt::LeftButton);
    }
    for (QWidget* row : rows)
        EXPECT_TRUE(spinUntil([&] { return settled(row); }));
    EXPECT_TRUE(spinUntil([&] { return view.verticalScrollBar()->maximum() > 0; }));
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    const QLabel* last = rows.back()->findChild<QLabel*>("explanation");
    const QPoint lastBottom = last->mapTo(view.viewport(), QPoint(0, last->height()));
    EXPECT_LE(lastBottom.y(), view.viewport()->height());
    larkfold::test::saveScreenshot(view, "learn-all-open-scrolled");
    EXPECT_LOOKS_AS_REFERENCE(view, "status", "learn-all-open-scrolled");
}

TEST(LearnView, TakesItsColoursFromTheDesktopsPalette)
{
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    {
        LearnView view;
        view.show();
        QTest::mouseClick(topicRows(view).at(4)->findChild<QAbstractButton*>("topicHeader"), Qt::LeftButton);
        EXPECT_TRUE(spinUntil([&] { return settled(topicRows(view).at(4)); }));
        for (const QLabel* label : view.findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                EXPECT_EQ(label->palette().color(label->foregroundRole()).rgb(), QColor(Qt::white).rgb());
            }
        }
        EXPECT_EQ(view.viewport()->palette().color(QPalette::Window), QColor(0x26, 0x26, 0x26));
        larkfold::test::saveScreenshot(view, "learn-dark");
        EXPECT_LOOKS_AS_REFERENCE(view, "status", "learn-dark");
    }
    QApplication::setPalette(original);
}
