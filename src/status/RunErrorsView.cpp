#include "status/RunErrorsView.h"

#include "engine/BackupEngine.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kMarginPixels = 16;
constexpr int kSpacingPixels = 8;
constexpr int kPathColumnPixels = 200;
constexpr int kActionColumnPixels = 140;

} // namespace

RunErrorsView::RunErrorsView(QString pairName, BackupEngine* engine, QWidget* parent)
    : QWidget(parent), m_pairName(std::move(pairName)), m_engine(engine), m_model(m_pairName, {})
{
    setObjectName(QStringLiteral("runErrorsView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMarginPixels, kMarginPixels, kMarginPixels, kMarginPixels);
    column->setSpacing(kSpacingPixels);

    m_heading = makeText({}, Theme::headingFont(), Tone::label, true, this);
    m_heading->setObjectName(QStringLiteral("runErrorsHeading"));
    column->addWidget(m_heading);
    m_note = makeText({}, Theme::captionFont(), Tone::label, false, this);
    m_note->setObjectName(QStringLiteral("runErrorsNote"));
    column->addWidget(m_note);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("runErrorsList"));
    m_list->setHeaderLabels({QStringLiteral("File"), QStringLiteral("While"), QStringLiteral("What went wrong")});
    m_list->setRootIsDecorated(false);
    m_list->setWordWrap(true);
    m_list->setColumnWidth(0, kPathColumnPixels);
    m_list->setColumnWidth(1, kActionColumnPixels);
    m_list->header()->setStretchLastSection(true);
    column->addWidget(m_list, 1);

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    m_copy = new QPushButton(QStringLiteral("Copy to Clipboard"), this);
    m_copy->setObjectName(QStringLiteral("copyRunErrorsButton"));
    connect(m_copy, &QPushButton::clicked, this, &RunErrorsView::copyToClipboard);
    footer->addWidget(m_copy);
    column->addLayout(footer);

    if (m_engine)
        connect(m_engine, &BackupEngine::runOutcomeChanged, this, &RunErrorsView::refresh);
    refresh();
}

void RunErrorsView::copyToClipboard()
{
    QGuiApplication::clipboard()->setText(m_model.clipboardText());
}

void RunErrorsView::refresh()
{
    m_model = RunErrorsModel(m_pairName, m_engine ? m_engine->lastRunErrors() : RunFileErrors{});
    m_heading->setText(m_model.heading());
    m_note->setText(m_model.shownNote());
    m_note->setVisible(!m_model.shownNote().isEmpty());
    m_list->clear();
    for (const RunErrorsModel::Row& row : m_model.rows()) {
        auto* item = new QTreeWidgetItem(m_list, {row.path, row.action, row.message});
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, item->text(column));
    }
    m_copy->setEnabled(!m_model.rows().empty());
}

} // namespace larkfold
