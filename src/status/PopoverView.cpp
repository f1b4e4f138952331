#include "status/PopoverView.h"

#include "engine/BackupEngine.h"
#include "platform/FileManager.h"
#include "platform/MotionPreference.h"
#include "setup/AddBackupView.h"
#include "shell/OverallStatus.h"
#include "shell/StatusManager.h"
#include "status/BackupPairRow.h"
#include "status/PairActionPrompts.h"
#include "status/PairActions.h"
#include "status/PopoverTexts.h"
#include "store/ConfigStore.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/Divider.h"
#include "widgets/FilledButton.h"
#include "widgets/IconButton.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <type_traits>

namespace larkfold {
namespace {

constexpr int kHeaderPaddingHorizontalPixels = 16;
constexpr int kHeaderPaddingVerticalPixels = 10;
constexpr int kHeaderButtonSpacingPixels = 2;
constexpr int kListMaximumHeightPixels = 360;
constexpr int kRowDividerInsetPixels = 32;
constexpr int kEmptySpacingPixels = 8;
constexpr int kEmptyPaddingVerticalPixels = 32;
constexpr int kEmptyPaddingHorizontalPixels = 16;
constexpr double kEmptySymbolPoints = 28;
constexpr int kFooterPaddingHorizontalPixels = 12;
constexpr int kFooterPaddingVerticalPixels = 9;
constexpr int kFooterSpacingPixels = 4;
constexpr int kFooterButtonSpacingPixels = 8;
constexpr int kFooterButtonPaddingHorizontalPixels = 10;
constexpr int kFooterButtonPaddingVerticalPixels = 7;
constexpr double kFooterButtonPoints = 12;

} // namespace

// Keeps the popover pinned open while one of its alerts or panels is up.
class PopoverView::PinningPrompts final : public PairActionPrompts {
public:
    PinningPrompts(PopoverView& view, PairActionPrompts& prompts) : m_view(view), m_prompts(prompts) {}

    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        return pinned([&] { return m_prompts.chooseFolders(panel); });
    }
    bool confirm(const FolderAlert& alert) override
    {
        return pinned([&] { return m_prompts.confirm(alert); });
    }
    bool confirmFirst(const ConfirmAlert& alert) override
    {
        return pinned([&] { return m_prompts.confirmFirst(alert); });
    }
    void tell(const QString& message) override
    {
        pinned([&] {
            m_prompts.tell(message);
            return true;
        });
    }

private:
    template <typename Ask>
    std::invoke_result_t<Ask> pinned(Ask ask)
    {
        const QPointer<PopoverView> view(&m_view);
        m_view.setModal(true);
        auto answer = ask();
        // The view may have gone while the dialog ran its own event loop.
        if (view)
            view->setModal(false);
        return answer;
    }

    PopoverView& m_view;
    PairActionPrompts& m_prompts;
};

PopoverView::PopoverView(StatusManager& statusManager, std::function<void()> onGearTapped, QWidget* parent)
    : PopoverView(statusManager, std::move(onGearTapped), Environment{}, parent)
{
}

PopoverView::PopoverView(StatusManager& statusManager, std::function<void()> onGearTapped, Environment environment,
                         QWidget* parent)
    : QWidget(parent), m_statusManager(statusManager), m_onGearTapped(std::move(onGearTapped)),
      m_now(environment.now ? std::move(environment.now) : [] { return QDateTime::currentDateTimeUtc(); }),
      m_sheetPrompts(std::move(environment.sheetPrompts)),
      m_reduceMotion(environment.reduceMotion.value_or(platform::prefersReducedMotion())),
      m_userPrompts(environment.prompts ? std::move(environment.prompts)
                                        : std::make_unique<DialogPairActionPrompts>(this))
{
    setObjectName(QStringLiteral("popoverView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    m_prompts = std::make_unique<PinningPrompts>(*this, *m_userPrompts);
    const platform::FileManager* fileManager = environment.fileManager;
    if (!fileManager) {
        m_ownFileManager
            = std::make_unique<platform::FileManager>([](const QUrl& folder) { QDesktopServices::openUrl(folder); });
        fileManager = m_ownFileManager.get();
    }
    m_actions = std::make_unique<PairActions>(m_statusManager, *m_prompts, *fileManager, [this] { emit closeRequested(); });

    m_pages = new QStackedLayout(this);
    m_pages->setContentsMargins(0, 0, 0, 0);
    m_main = new QWidget(this);
    auto* column = new QVBoxLayout(m_main);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(new Divider(0, 0, m_main));

    m_content = new QStackedWidget(m_main);
    auto* rows = new QWidget;
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch(1);
    // Its bar shows rows below the fold.
    m_list = new BoundedScrollArea(rows, kListMaximumHeightPixels, m_content);
    m_list->setObjectName(QStringLiteral("pairList"));
    // Rows that move under a still pointer get no enter or leave.
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        for (auto& [id, row] : m_rows)
            row->followPointer();
    });
    m_content->addWidget(m_list);
    m_emptyState = makeEmptyState();
    m_content->addWidget(m_emptyState);
    column->addWidget(m_content, 1);

    column->addWidget(new Divider(0, 0, m_main));
    column->addWidget(makeFooter());
    m_pages->addWidget(m_main);

    ConfigStore& store = m_statusManager.configStore();
    connect(&store, &ConfigStore::pairsChanged, this, &PopoverView::syncRows);
    connect(&m_statusManager, &StatusManager::enginesChanged, this, &PopoverView::syncRows);
    connect(&m_statusManager, &StatusManager::heldChanged, this, &PopoverView::refreshFooter);
    syncRows();
}

PopoverView::~PopoverView()
{
    // The sheet and the rows call into the actions and prompts while they go.
    delete m_sheet;
    for (auto& [id, row] : m_rows)
        delete row;
    m_rows.clear();
}

QSize PopoverView::sizeHint() const
{
    return {kWidth, QWidget::sizeHint().height()};
}

QWidget* PopoverView::makeHeader()
{
    auto* header = new QWidget(m_main);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderPaddingHorizontalPixels, kHeaderPaddingVerticalPixels,
                            kHeaderPaddingHorizontalPixels, kHeaderPaddingVerticalPixels);
    row->setSpacing(0);
    row->addWidget(new ToneLabel(QStringLiteral("Larkfold"), Theme::headingFont(), Tone::label, header));
    row->addStretch(1);
    auto* add = new IconButton(QStringLiteral("plus"), QStringLiteral("Add backup"), QStringLiteral("Add a new backup"),
                               m_reduceMotion, header);
    add->setObjectName(QStringLiteral("addButton"));
    connect(add, &QAbstractButton::clicked, this, &PopoverView::showAddBackup);
    auto* gear = new IconButton(QStringLiteral("gearshape"), QStringLiteral("Settings"), QStringLiteral("Settings"),
                                m_reduceMotion, header);
    gear->setObjectName(QStringLiteral("gearButton"));
    connect(gear, &QAbstractButton::clicked, this, [this] {
        if (m_onGearTapped)
            m_onGearTapped();
    });
    row->addWidget(add);
    row->addSpacing(kHeaderButtonSpacingPixels);
    row->addWidget(gear);
    return header;
}

QWidget* PopoverView::makeEmptyState()
{
    auto* empty = new QWidget(m_content);
    empty->setObjectName(QStringLiteral("emptyState"));
    auto* column = new QVBoxLayout(empty);
    column->setContentsMargins(kEmptyPaddingHorizontalPixels, kEmptyPaddingVerticalPixels,
                               kEmptyPaddingHorizontalPixels, kEmptyPaddingVerticalPixels);
    column->setSpacing(kEmptySpacingPixels);
    column->addStretch(1);
    auto* symbol = new SymbolView(QStringLiteral("folder"), Theme::systemFont(kEmptySymbolPoints, QFont::Light),
                                  Tone::tertiary, 0, empty);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = new ToneLabel(QStringLiteral("Nothing's being backed up yet."), Theme::bodyFont(), Tone::secondary,
                                empty);
    column->addWidget(title, 0, Qt::AlignHCenter);
    auto* hint = new ToneLabel(QStringLiteral("Click + to add your first folder."), Theme::captionFont(),
                               Tone::tertiary, empty);
    column->addWidget(hint, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return empty;
}

QWidget* PopoverView::makeFooter()
{
    auto* footer = new QWidget(m_main);
    auto* column = new QVBoxLayout(footer);
    column->setContentsMargins(kFooterPaddingHorizontalPixels, kFooterPaddingVerticalPixels,
                               kFooterPaddingHorizontalPixels, kFooterPaddingVerticalPixels);
    column->setSpacing(kFooterSpacingPixels);
    m_lastBackup = new ToneLabel({}, Theme::captionFont(), Tone::tertiary, footer);
    m_lastBackup->setObjectName(QStringLiteral("lastBackupText"));
    column->addWidget(m_lastBackup);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kFooterButtonSpacingPixels);
    buttons->addStretch(1);
    auto* pause = new FilledButton({}, Theme::systemFont(kFooterButtonPoints), FilledButton::Kind::quiet, footer);
    pause->setPadding(kFooterButtonPaddingHorizontalPixels, kFooterButtonPaddingVerticalPixels);
    pause->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_pauseButton = pause;
    m_pauseButton->setObjectName(QStringLiteral("pauseButton"));
    connect(m_pauseButton, &QAbstractButton::clicked, this, &PopoverView::pauseClicked);
    buttons->addWidget(m_pauseButton);
    auto* backUp = new FilledButton({}, Theme::systemFont(kFooterButtonPoints, QFont::DemiBold),
                                    FilledButton::Kind::accent, footer);
    backUp->setPadding(kFooterButtonPaddingHorizontalPixels, kFooterButtonPaddingVerticalPixels);
    backUp->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_backUpButton = backUp;
    m_backUpButton->setObjectName(QStringLiteral("backUpButton"));
    m_backUpButton->setText(QStringLiteral("Back Up Now"));
    m_backUpButton->setAccessibleName(QStringLiteral("Back up all pairs now"));
    connect(m_backUpButton, &QAbstractButton::clicked, this, &PopoverView::backUpNowClicked);
    buttons->addWidget(m_backUpButton);
    column->addLayout(buttons);
    return footer;
}

void PopoverView::syncRows()
{
    const std::vector<BackupPair>& pairs = m_statusManager.configStore().pairs();
    std::map<QUuid, BackupPairRow*> kept;
    for (const BackupPair& pair : pairs) {
        BackupPairRow* row = nullptr;
        if (const auto found = m_rows.find(pair.id); found != m_rows.end()) {
            row = found->second;
            m_rows.erase(found);
            row->setPair(pair);
        } else {
            row = new BackupPairRow(m_statusManager, *m_actions, pair, m_reduceMotion, m_now, m_list->widget());
            connect(row, &BackupPairRow::errorDetailUnfolded, this, [this, row] { bringIntoView(row); });
            // A pair added while the popover lives: where the user looks for it.
            if (m_rowsShown)
                bringIntoView(row);
        }
        BackupEngine* engine = m_statusManager.engine(pair.id);
        row->setEngine(engine);
        if (engine)
            connect(engine, &BackupEngine::statusChanged, this, &PopoverView::refreshFooter, Qt::UniqueConnection);
        kept[pair.id] = row;
    }
    // Rows of pairs that went; deleted later, as the click that removed the pair may be theirs.
    for (auto& [id, row] : m_rows) {
        row->hide();
        row->deleteLater();
    }
    m_rows = std::move(kept);

    // Lay the rows out again in the store's order, a divider between two rows.
    for (QWidget* divider : m_rowDividers)
        delete divider;
    m_rowDividers.clear();
    while (m_rowsLayout->count() > 0)
        delete m_rowsLayout->takeAt(0);
    QWidget* rowsWidget = m_list->widget();
    for (std::size_t index = 0; index < pairs.size(); ++index) {
        BackupPairRow* row = m_rows.at(pairs[index].id);
        row->setParent(rowsWidget);
        m_rowsLayout->addWidget(row);
        row->show();
        if (index + 1 < pairs.size()) {
            auto* divider = new Divider(kRowDividerInsetPixels, 0, rowsWidget);
            divider->setObjectName(QStringLiteral("rowDivider"));
            m_rowDividers.push_back(divider);
            m_rowsLayout->addWidget(divider);
            // At once, not on a later turn: a row brought into view must find the others in place.
            divider->show();
        }
    }
    m_rowsLayout->addStretch(1);
    m_content->setCurrentWidget(pairs.empty() ? m_emptyState : static_cast<QWidget*>(m_list));
    m_rowsShown = true;
    refreshFooter();
}

void PopoverView::bringIntoView(BackupPairRow* row)
{
    m_rowToReveal = row;
    // Once the layout has placed the row, and only where it is shown.
    QTimer::singleShot(0, this, [this] {
        if (!m_rowToReveal || !m_main->isVisible())
            return;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        m_list->ensureWidgetVisible(m_rowToReveal, 0, 0);
        m_rowToReveal = nullptr;
    });
}

void PopoverView::refreshFooter()
{
    const auto line = lastBackupText(m_statusManager.configStore().pairs(), m_now());
    m_lastBackup->setText(line.value_or(QString()));
    m_lastBackup->setVisible(line.has_value());

    const bool pause = pauseAction() == PauseButtonAction::pauseAll;
    m_pauseButton->setText(pause ? QStringLiteral("Pause All") : QStringLiteral("Resume All"));
    m_pauseButton->setAccessibleName(pause ? QStringLiteral("Pause all backups") : QStringLiteral("Resume all backups"));
    m_pauseButton->updateGeometry();
    // Nothing to act on without pairs.
    const bool anyPair = !m_statusManager.configStore().pairs().empty();
    m_pauseButton->setEnabled(anyPair);
    m_backUpButton->setEnabled(anyPair);
}

void PopoverView::refreshAll()
{
    for (auto& [id, row] : m_rows)
        row->refresh();
    refreshFooter();
}

PauseButtonAction PopoverView::pauseAction() const
{
    std::vector<BackupStatus> statuses;
    for (const auto& [id, engine] : m_statusManager.engines()) {
        // While the coordinator stops them all, the engines it took out are empty places.
        if (engine)
            statuses.push_back(engine->status());
    }
    return pauseButtonAction(statuses);
}

void PopoverView::backUpNowClicked()
{
    std::vector<QString> paused;
    for (const BackupPair& pair : m_statusManager.backupAllNow())
        paused.push_back(pair.name);
    if (const auto notice = pausedPairsNotice(paused, m_statusManager.configStore().pairs().size()))
        m_prompts->tell(*notice);
}

void PopoverView::pauseClicked()
{
    // Decided again now, not taken from the label drawn last.
    if (pauseAction() == PauseButtonAction::pauseAll)
        m_statusManager.pauseAll();
    else
        m_statusManager.resumeAll();
    refreshFooter();
}

void PopoverView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The ages count to the moment the popover opens.
    refreshAll();
    if (m_rowToReveal)
        bringIntoView(m_rowToReveal);
}

std::vector<BackupPairRow*> PopoverView::rows() const
{
    std::vector<BackupPairRow*> ordered;
    for (const BackupPair& pair : m_statusManager.configStore().pairs()) {
        if (const auto found = m_rows.find(pair.id); found != m_rows.end())
            ordered.push_back(found->second);
    }
    return ordered;
}

BackupPairRow* PopoverView::row(const QUuid& pairId) const
{
    const auto found = m_rows.find(pairId);
    return found == m_rows.end() ? nullptr : found->second;
}

QString PopoverView::lastBackupLine() const
{
    return m_lastBackup->isVisibleTo(this) ? m_lastBackup->text() : QString();
}

// --- The sheet ---

bool PopoverView::isPinned() const
{
    return m_sheet || m_modalDepth > 0;
}

void PopoverView::setModal(bool modal)
{
    const bool wasPinned = isPinned();
    m_modalDepth += modal ? 1 : -1;
    if (isPinned() != wasPinned)
        emit pinnedChanged(isPinned());
}

void PopoverView::showAddBackup()
{
    if (m_sheet)
        return;
    const bool wasPinned = isPinned();
    auto* sheet = new AddBackupView(m_statusManager, m_sheetPrompts ? m_sheetPrompts() : nullptr, this);
    sheet->setReduceMotion(m_reduceMotion);
    m_sheet = sheet;
    connect(sheet, &AddBackupView::finished, this, &PopoverView::dismissSheet);
    connect(sheet, &AddBackupView::cancelled, this, &PopoverView::dismissSheet);
    m_pages->addWidget(sheet);
    m_pages->setCurrentWidget(sheet);
    sheet->setFocus();
    if (!wasPinned)
        emit pinnedChanged(true);
}

void PopoverView::dismissSheet()
{
    if (!m_sheet)
        return;
    AddBackupView* sheet = m_sheet;
    m_sheet = nullptr;
    m_pages->setCurrentWidget(m_main);
    m_pages->removeWidget(sheet);
    sheet->hide();
    // The signal comes from inside the sheet's own work.
    sheet->deleteLater();
    refreshAll();
    if (m_rowToReveal)
        bringIntoView(m_rowToReveal);
    if (!isPinned())
        emit pinnedChanged(false);
}

} // namespace larkfold
