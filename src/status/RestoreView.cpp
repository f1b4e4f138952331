#include "status/RestoreView.h"

#include "status/BusyIndicator.h"
#include "status/RestoreFileDelegate.h"
#include "status/RestoreFileFilter.h"
#include "status/RestoreFileListModel.h"
#include "status/WidgetRestorePrompts.h"
#include "widgets/Divider.h"
#include "widgets/ElidedText.h"
#include "widgets/FilledButton.h"
#include "widgets/RoundedCard.h"
#include "widgets/SymbolView.h"
#include "widgets/TextButton.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <tuple>

namespace larkfold {
namespace {

constexpr int kWidthPx = 480;
constexpr int kHeightPx = 520;
constexpr int kEdgePaddingPx = 16;
constexpr int kSearchRadiusPx = 6;
constexpr int kProgressSizePx = 12;
constexpr int kTitleIconPx = 18;
constexpr int kSmallIconPx = 14;
constexpr int kEmptyIconPx = 36;

} // namespace

RestoreView::RestoreView(const BackupPair& pair, QWidget* parent)
    : RestoreView(pair, RestoreViewModel::Environment{}, parent)
{
}

RestoreView::RestoreView(const BackupPair& pair, RestoreViewModel::Environment environment, QWidget* parent)
    : QWidget(parent)
{
    if (!environment.prompts) {
        m_ownPrompts = std::make_unique<WidgetRestorePrompts>(this);
        environment.prompts = m_ownPrompts.get();
    }
    m_model = new RestoreViewModel(pair, std::move(environment), this);
    setWindowTitle(m_model->title());
    setAccessibleName(m_model->accessibleName());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(new Divider(0, 0, this));
    layout->addWidget(makeListArea(), 1);
    layout->addWidget(new Divider(0, 0, this));
    layout->addWidget(makeFooter());
    // The footer's buttons need a little more than the width where the fonts are larger than the
    // design's; they are never cut off.
    ensurePolished();
    setFixedSize(std::max(kWidthPx, layout->totalMinimumSize().width()), kHeightPx);

    // From the filter straight to the list, as before there were two; the tabs after it.
    setTabOrder(m_searchField, m_selectAll);
    setTabOrder(m_selectAll, m_list);
    setTabOrder(m_list, m_backupTab);
    setTabOrder(m_backupTab, m_trashTab);

    connect(m_model, &RestoreViewModel::isLoadingChanged, this, &RestoreView::refreshArea);
    connect(m_model, &RestoreViewModel::listChanged, this, [this] {
        refreshArea();
        refreshList();
        refreshFooter();
        refreshTabs();
    });
    connect(m_model, &RestoreViewModel::currentListChanged, this, &RestoreView::showCurrentList);
    connect(m_model, &RestoreViewModel::trashSharedChanged, this, &RestoreView::refreshList);
    connect(m_model, &RestoreViewModel::restoreInProgressChanged, this, &RestoreView::refreshFooter);
    connect(m_model, &RestoreViewModel::restoreMessageChanged, this, &RestoreView::refreshFooter);
    connect(m_model, &RestoreViewModel::restoreProgressChanged, this, &RestoreView::refreshFooter);
    refreshArea();
    refreshList();
    refreshFooter();
    refreshTabs();
}

RestoreView::~RestoreView() = default;

void RestoreView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loadStarted) {
        m_loadStarted = true;
        m_model->loadFiles();
    }
}

QWidget* RestoreView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(kEdgePaddingPx, 14, kEdgePaddingPx, 10);
    column->setSpacing(8);

    auto* title = new QHBoxLayout;
    title->setSpacing(6);
    title->addWidget(new SymbolView(QStringLiteral("arrow.counterclockwise"), kTitleIconPx, Tone::green, header));
    auto* titleLabel = new ElidedText(m_model->title(), Theme::systemFont(14, QFont::DemiBold), Tone::label,
                                      Qt::ElideRight, header);
    titleLabel->setToolTip(m_model->title());
    title->addWidget(titleLabel, 1);
    m_selectedLabel = new ToneLabel({}, Theme::captionFont(), Tone::tertiary, header);
    m_selectedLabel->setObjectName(QStringLiteral("selectedCount"));
    title->addWidget(m_selectedLabel);
    column->addLayout(title);

    auto* search = new RoundedCard(kSearchRadiusPx, header);
    auto* row = new QHBoxLayout(search);
    row->setContentsMargins(8, 5, 8, 5);
    row->setSpacing(6);
    row->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), kSmallIconPx, Tone::tertiary, search));
    m_searchField = new QLineEdit(search);
    m_searchField->setObjectName(QStringLiteral("filterField"));
    m_searchField->setPlaceholderText(QStringLiteral("Filter files…"));
    m_searchField->setFont(Theme::bodyFont());
    m_searchField->setFrame(false);
    // The card is the field's background. Only that role is the field's own, so its text colours
    // still follow the palette (a style sheet would fix them as they were when it was set).
    QPalette fieldPalette;
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_searchField->setPalette(fieldPalette);
    // As tall as its line, as a field drawn by the card alone: the style would add room for a frame.
    m_searchField->setFixedHeight(m_searchField->fontMetrics().height() + 2);
    row->addWidget(m_searchField, 1);
    column->addWidget(search);
    connect(m_searchField, &QLineEdit::textChanged, m_model, &RestoreViewModel::setSearchText);

    // The two lists, one shown at a time: what the backup holds, and what was deleted from it.
    auto* tabs = new QHBoxLayout;
    tabs->setSpacing(4);
    for (auto [button, name, list] : {std::tuple{&m_backupTab, "backupTab", RestoreList::backup},
                                      std::tuple{&m_trashTab, "trashTab", RestoreList::trash}}) {
        *button = new FilledButton({}, Theme::systemFont(11, QFont::Medium), FilledButton::Kind::tab, header);
        (*button)->setObjectName(QString::fromLatin1(name));
        (*button)->setCursor(Qt::PointingHandCursor);
        tabs->addWidget(*button);
        connect(*button, &FilledButton::clicked, m_model, [this, list = list] { m_model->setCurrentList(list); });
    }
    tabs->addStretch(1);
    column->addLayout(tabs);
    return header;
}

QWidget* RestoreView::makeListArea()
{
    m_area = new QStackedWidget(this);

    m_loadingPage = new QWidget(m_area);
    auto* loading = new QVBoxLayout(m_loadingPage);
    loading->setSpacing(8);
    loading->addStretch(1);
    auto* spinner = new status::BusyIndicator(16, m_loadingPage);
    loading->addWidget(spinner, 0, Qt::AlignHCenter);
    loading->addWidget(new ToneLabel(QStringLiteral("Scanning backup files…"), Theme::bodyFont(), Tone::secondary,
                                     m_loadingPage),
                       0, Qt::AlignHCenter);
    loading->addStretch(1);
    m_area->addWidget(m_loadingPage);

    m_emptyPage = new QWidget(m_area);
    auto* empty = new QVBoxLayout(m_emptyPage);
    empty->setContentsMargins(32, 0, 32, 0);
    empty->setSpacing(8);
    empty->addStretch(1);
    empty->addWidget(new SymbolView(QStringLiteral("doc.questionmark"), kEmptyIconPx, Tone::secondary, m_emptyPage), 0,
                     Qt::AlignHCenter);
    for (auto [label, font] : {std::pair{&m_emptyTitle, Theme::bodyFont()}, std::pair{&m_emptyCaption, Theme::captionFont()}}) {
        *label = new ToneLabel({}, font, Tone::secondary, m_emptyPage);
        (*label)->setAlignment(Qt::AlignCenter);
        (*label)->setWordWrap(true);
        empty->addWidget(*label);
    }
    m_emptyTitle->setObjectName(QStringLiteral("emptyTitle"));
    m_emptyCaption->setObjectName(QStringLiteral("emptyCaption"));
    empty->addStretch(1);
    m_area->addWidget(m_emptyPage);

    m_listPage = new QWidget(m_area);
    auto* list = new QVBoxLayout(m_listPage);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(0);
    auto* selectAllRow = new QHBoxLayout;
    selectAllRow->setContentsMargins(kEdgePaddingPx, 6, kEdgePaddingPx, 6);
    selectAllRow->setSpacing(8);
    m_selectAll = new QCheckBox(m_listPage);
    m_selectAll->setObjectName(QStringLiteral("selectAll"));
    m_selectAll->setAccessibleName(QStringLiteral("Select All"));
    selectAllRow->addWidget(m_selectAll);
    selectAllRow->addWidget(new ToneLabel(QStringLiteral("Select All"), Theme::systemFont(11, QFont::Medium),
                                          Tone::secondary, m_listPage));
    selectAllRow->addStretch(1);
    m_filteredLabel = new ToneLabel({}, Theme::smallFont(), Tone::secondary, m_listPage);
    m_filteredLabel->setObjectName(QStringLiteral("filteredCount"));
    selectAllRow->addWidget(m_filteredLabel);
    list->addLayout(selectAllRow);
    list->addWidget(new Divider(kEdgePaddingPx, 0, m_listPage));
    m_trashShared = new ElidedText(Theme::captionFont(), Tone::secondary, Qt::ElideRight, m_listPage);
    m_trashShared->setObjectName(QStringLiteral("trashShared"));
    m_trashShared->setContentsMargins(kEdgePaddingPx, 6, kEdgePaddingPx, 6);
    list->addWidget(m_trashShared);
    m_list = new QListView(m_listPage);
    m_list->setObjectName(QStringLiteral("fileList"));
    m_list->setModel(m_model->filteredFiles());
    m_list->setItemDelegate(new status::RestoreFileDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    list->addWidget(m_list, 1);
    m_area->addWidget(m_listPage);

    connect(m_selectAll, &QCheckBox::clicked, this, [this](bool checked) {
        m_model->setAllFilteredSelected(checked);
        refreshList(); // an empty filter result changes nothing, and the box stays clear
    });
    return m_area;
}

QWidget* RestoreView::makeFooter()
{
    auto* footer = new QWidget(this);
    auto* column = new QVBoxLayout(footer);
    column->setContentsMargins(kEdgePaddingPx, 10, kEdgePaddingPx, 10);
    column->setSpacing(6);

    m_messageRow = new QWidget(footer);
    auto* message = new QHBoxLayout(m_messageRow);
    message->setContentsMargins(0, 0, 0, 0);
    message->setSpacing(4);
    m_messageIcon = new SymbolView(QStringLiteral("checkmark.circle.fill"), kSmallIconPx, Tone::green, m_messageRow);
    message->addWidget(m_messageIcon);
    m_messageLabel = new ToneLabel({}, Theme::systemFont(11, QFont::Medium), Tone::label, m_messageRow);
    m_messageLabel->setObjectName(QStringLiteral("restoreMessage"));
    m_messageLabel->setWordWrap(true);
    message->addWidget(m_messageLabel, 1);
    column->addWidget(m_messageRow);

    m_progressLabel = new ToneLabel({}, Theme::captionFont(), Tone::secondary, footer);
    m_progressLabel->setObjectName(QStringLiteral("restoreProgress"));
    column->addWidget(m_progressLabel);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_openButton = new TextButton(QStringLiteral("Open in File Manager"), Theme::captionFont(), Tone::secondary, footer);
    m_openButton->setObjectName(QStringLiteral("openInFileManager"));
    buttons->addWidget(m_openButton);
    buttons->addStretch(1);

    m_restoreToButton = new FilledButton(QStringLiteral("Restore to…"), Theme::bodyFont(), FilledButton::Kind::quiet, footer);
    m_restoreToButton->setCursor(Qt::PointingHandCursor);
    m_restoreToButton->setObjectName(QStringLiteral("restoreTo"));
    buttons->addWidget(m_restoreToButton);

    m_restoreOriginalButton = new FilledButton(QStringLiteral("Restore to Original"), Theme::systemFont(12, QFont::DemiBold),
                                               FilledButton::Kind::accent, footer);
    m_restoreOriginalButton->setCursor(Qt::PointingHandCursor);
    m_restoreOriginalButton->setObjectName(QStringLiteral("restoreToOriginal"));
    // The button keeps its width while its label gives way to the progress indicator.
    m_restoreOriginalButton->setMinimumSize(m_restoreOriginalButton->sizeHint());
    m_restoreSpinner = new status::BusyIndicator(kProgressSizePx, m_restoreOriginalButton);
    m_restoreSpinner->setObjectName(QStringLiteral("restoreSpinner"));
    m_restoreSpinner->setColor(Theme::white());
    m_restoreSpinner->hide();
    buttons->addWidget(m_restoreOriginalButton);
    column->addLayout(buttons);

    connect(m_openButton, &TextButton::clicked, m_model, &RestoreViewModel::openInFileManager);
    connect(m_restoreToButton, &FilledButton::clicked, m_model, &RestoreViewModel::chooseRestoreLocation);
    connect(m_restoreOriginalButton, &FilledButton::clicked, m_model, &RestoreViewModel::restoreToOriginal);
    return footer;
}

void RestoreView::refreshArea()
{
    m_emptyTitle->setText(m_model->emptyTitle());
    m_emptyCaption->setText(m_model->emptyCaption());
    QWidget* page = m_model->isLoading() ? m_loadingPage
        : m_model->currentFiles()->rowCount() == 0 ? m_emptyPage
                                                    : m_listPage;
    m_area->setCurrentWidget(page);
}

void RestoreView::refreshTabs()
{
    m_backupTab->setText(m_model->listTitle(RestoreList::backup));
    m_trashTab->setText(m_model->listTitle(RestoreList::trash));
    m_backupTab->setChecked(m_model->currentList() == RestoreList::backup);
    m_trashTab->setChecked(m_model->currentList() == RestoreList::trash);
}

void RestoreView::showCurrentList()
{
    m_list->setModel(m_model->currentFilteredFiles());
    refreshArea();
    refreshList();
    refreshFooter();
    refreshTabs();
}

void RestoreView::refreshList()
{
    const auto shared = m_model->trashSharedText();
    m_trashShared->setVisible(m_model->currentList() == RestoreList::trash && shared.has_value());
    m_trashShared->setText(shared.value_or(QString()));
    m_trashShared->setToolTip(shared.value_or(QString()));
    m_selectedLabel->setText(m_model->selectedCountText());
    m_filteredLabel->setText(m_model->filteredCountText());
    const QSignalBlocker blocker(m_selectAll);
    m_selectAll->setChecked(m_model->allFilteredSelected());
}

void RestoreView::refreshFooter()
{
    const auto& message = m_model->restoreMessage();
    m_messageRow->setVisible(message.has_value());
    if (message) {
        const bool isError = m_model->restoreMessageIsError();
        m_messageIcon->setSymbol(isError ? QStringLiteral("exclamationmark.triangle.fill")
                                         : QStringLiteral("checkmark.circle.fill"),
                                 isError ? Tone::red : Tone::green);
        m_messageLabel->setText(*message);
    }
    const bool inProgress = m_model->restoreInProgress();
    m_progressLabel->setVisible(inProgress);
    m_progressLabel->setText(m_model->restoreProgressText());

    const bool enabled = m_model->canRestore();
    m_restoreToButton->setEnabled(enabled);
    m_restoreOriginalButton->setEnabled(enabled);
    m_restoreToButton->setToolTip(m_model->restoreToTooltip());
    m_restoreOriginalButton->setToolTip(m_model->restoreToOriginalTooltip());
    m_restoreOriginalButton->setText(inProgress ? QString() : QStringLiteral("Restore to Original"));
    m_restoreSpinner->setVisible(inProgress);
    if (inProgress) {
        const QSize room = m_restoreOriginalButton->size();
        m_restoreSpinner->move((room.width() - kProgressSizePx) / 2, (room.height() - kProgressSizePx) / 2);
    }
}

} // namespace larkfold
