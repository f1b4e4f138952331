#include "status/BackupPairRow.h"

#include "engine/BackupEngine.h"
#include "platform/Paths.h"
#include "shell/StatusManager.h"
#include "status/PairActions.h"
#include "status/PopoverTexts.h"
#include "widgets/ElidedText.h"
#include "widgets/SymbolView.h"
#include "widgets/TextButton.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace larkfold {
namespace {

constexpr int kPaddingHorizontalPixels = 12;
constexpr int kPaddingVerticalPixels = 10;
constexpr int kLineSpacingPixels = 8;
constexpr int kDotAreaWidthPixels = 16;
// The ring grows to 1.3 times 14 pixels: its box is wider than the dot's area, which it overhangs.
constexpr int kDotBoxPixels = 20;
constexpr int kDotDiameterPixels = 8;
constexpr int kRingDiameterPixels = 14;
constexpr double kRingEndScale = 1.3;
constexpr double kRingStartOpacity = 0.6;
constexpr int kRingPeriodMs = 1400;
constexpr int kTextBlockSpacingPixels = 2;
constexpr int kDetailSpacingPixels = 4;
constexpr int kStatusBlockSpacingPixels = 6;
constexpr double kIconPoints = 9;
constexpr double kRelinkPoints = 10;
constexpr int kProgressHeightPixels = 4;
constexpr int kProgressBottomPixels = 6;
constexpr double kProgressCornerRadiusPixels = 1;
constexpr int kErrorIndentPixels = 24;
constexpr int kErrorBottomPixels = 8;
constexpr int kErrorSpacingPixels = 4;
constexpr int kErrorActionSpacingPixels = 12;

QString displayPath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString folderName(const std::filesystem::path& path)
{
    return displayPath(platform::lastPathComponent(path));
}

void startAnimation(QVariantAnimation& animation, double from, double to)
{
    animation.stop();
    animation.setStartValue(from);
    animation.setEndValue(to);
    animation.start();
}

void setUpQuickAnimation(QVariantAnimation& animation)
{
    animation.setDuration(Theme::quickAnimation().durationMs);
    animation.setEasingCurve(Theme::quickAnimation().curve);
}

} // namespace

namespace pairrow {

// The status dot, and while work is under way the ring that grows out of it and fades.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(kDotBoxPixels, kDotBoxPixels);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        m_ring.setDuration(kRingPeriodMs);
        m_ring.setEasingCurve(Theme::quickAnimation().curve);
        m_ring.setStartValue(0.0);
        m_ring.setEndValue(1.0);
        // Grows and fades, then starts again from the dot: no reversing.
        m_ring.setLoopCount(-1);
        QObject::connect(&m_ring, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }

    void setTone(Tone tone)
    {
        if (m_tone != tone) {
            m_tone = tone;
            update();
        }
    }

    bool isPulsing() const { return m_pulsing; }
    void setPulsing(bool pulsing)
    {
        if (m_pulsing == pulsing)
            return;
        m_pulsing = pulsing;
        // A new ring starts afresh.
        m_ring.stop();
        if (pulsing)
            m_ring.start();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(width() / 2.0, height() / 2.0);
        const QColor color = toneColor(m_tone);
        if (m_pulsing) {
            const double phase = m_ring.currentValue().toDouble();
            const double radius = kRingDiameterPixels / 2.0 * (1.0 + (kRingEndScale - 1.0) * phase);
            QColor ring = color;
            ring.setAlphaF(float(color.alphaF() * kRingStartOpacity * (1.0 - phase)));
            painter.setPen(QPen(ring, 1.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, radius, radius);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(centre, kDotDiameterPixels / 2.0, kDotDiameterPixels / 2.0);
    }

private:
    Tone m_tone = Tone::green;
    bool m_pulsing = false;
    QVariantAnimation m_ring;
};

// A thin track with the part done in green.
class ProgressBar : public QWidget {
public:
    // `shownChanged` is told each value the bar draws, so the figure beside it can show the same.
    ProgressBar(std::function<void()> shownChanged, QWidget* parent)
        : QWidget(parent), m_shownChanged(std::move(shownChanged))
    {
        setFixedHeight(kProgressHeightPixels);
        setUpQuickAnimation(m_animation);
        QObject::connect(&m_animation, &QVariantAnimation::valueChanged, this,
                         [this](const QVariant& value) { show(value.toDouble()); });
    }

    double progress() const { return m_target; }
    // The value drawn now, on its way to progress() while it moves.
    double shown() const { return m_shown; }
    void setProgress(double progress, bool animated)
    {
        const double clamped = std::clamp(progress, 0.0, 1.0);
        if (clamped == m_target && (animated || m_shown == clamped))
            return;
        m_target = clamped;
        if (!animated) {
            m_animation.stop();
            show(clamped);
        } else if (m_animation.state() == QAbstractAnimation::Running) {
            // Reports come faster than a move takes: the move under way goes on to the new value.
            // Started afresh each time, the bar would never catch up with the figure.
            m_animation.setEndValue(clamped);
        } else {
            startAnimation(m_animation, m_shown, clamped);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::separatorColor());
        painter.drawRoundedRect(QRectF(rect()), kProgressCornerRadiusPixels, kProgressCornerRadiusPixels);
        const double filled = width() * m_shown;
        if (filled <= 0)
            return;
        painter.setBrush(Theme::green());
        painter.drawRoundedRect(QRectF(0, 0, filled, height()), kProgressCornerRadiusPixels,
                                kProgressCornerRadiusPixels);
    }

private:
    void show(double value)
    {
        m_shown = value;
        update();
        if (m_shownChanged)
            m_shownChanged();
    }

    std::function<void()> m_shownChanged;
    double m_target = 0;
    double m_shown = 0;
    QVariantAnimation m_animation;
};

} // namespace pairrow

BackupPairRow::BackupPairRow(StatusManager& statusManager, PairActions& actions, const BackupPair& pair,
                             bool reduceMotion, std::function<QDateTime()> now, QWidget* parent)
    : QWidget(parent), m_statusManager(statusManager), m_actions(actions), m_pair(pair),
      m_reduceMotion(reduceMotion), m_now(std::move(now))
{
    setObjectName(QStringLiteral("pairRow"));
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setUpQuickAnimation(m_hoverAnimation);
    connect(&m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverAmount = value.toDouble();
        update();
    });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* line = new QHBoxLayout;
    // The dot's box overhangs its area by the same amount on both sides.
    const int overhang = (kDotBoxPixels - kDotAreaWidthPixels) / 2;
    line->setContentsMargins(kPaddingHorizontalPixels - overhang, kPaddingVerticalPixels, kPaddingHorizontalPixels,
                             kPaddingVerticalPixels);
    line->setSpacing(0);
    m_dot = new pairrow::StatusDot(this);
    m_dot->setObjectName(QStringLiteral("statusDot"));
    line->addWidget(m_dot, 0, Qt::AlignVCenter);
    line->addSpacing(kLineSpacingPixels - overhang);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTextBlockSpacingPixels);
    m_name = new ElidedText(Theme::headingFont(), Tone::label, Qt::ElideMiddle, this);
    m_name->setObjectName(QStringLiteral("pairName"));
    texts->addWidget(m_name);
    auto* detail = new QHBoxLayout;
    detail->setSpacing(kDetailSpacingPixels);
    m_destination = new ElidedText(Theme::captionFont(), Tone::secondary, Qt::ElideMiddle, this);
    m_destination->setObjectName(QStringLiteral("destinationText"));
    detail->addWidget(m_destination);
    const QFont iconFont = Theme::systemFont(kIconPoints);
    m_freeSpaceIcon
        = new SymbolView(QStringLiteral("externaldrive.badge.exclamationmark"), iconFont, Tone::amber, 0, this);
    m_freeSpaceIcon->setObjectName(QStringLiteral("freeSpaceIcon"));
    m_offsiteIcon = new SymbolView(QStringLiteral("cloud.fill"), iconFont, Tone::green, 0, this);
    m_offsiteIcon->setObjectName(QStringLiteral("offsiteIcon"));
    m_redundancyIcon = new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), iconFont, Tone::red, 0, this);
    m_redundancyIcon->setObjectName(QStringLiteral("redundancyIcon"));
    m_watchIcon = new SymbolView(QStringLiteral("folder.badge.questionmark"), iconFont, Tone::amber, 0, this);
    m_watchIcon->setObjectName(QStringLiteral("watchIcon"));
    for (SymbolView* icon : {m_freeSpaceIcon, m_offsiteIcon, m_redundancyIcon, m_watchIcon})
        detail->addWidget(icon, 0, Qt::AlignVCenter);
    detail->addStretch(1);
    texts->addLayout(detail);
    line->addLayout(texts, 1);
    line->addSpacing(kLineSpacingPixels);

    auto* statusBlock = new QHBoxLayout;
    statusBlock->setSpacing(kStatusBlockSpacingPixels);
    m_statusLabel = new ToneLabel({}, Theme::captionFont(), Tone::secondary, this);
    m_statusLabel->setObjectName(QStringLiteral("statusText"));
    statusBlock->addWidget(m_statusLabel, 0, Qt::AlignVCenter);
    m_relink = new TextButton(QStringLiteral("Relink"), Theme::systemFont(kRelinkPoints, QFont::Medium), Tone::green, this);
    m_relink->setObjectName(QStringLiteral("relinkButton"));
    m_relink->setToolTip(QStringLiteral("Change backup destination"));
    connect(m_relink, &QAbstractButton::clicked, this, [this] { m_actions.changeDestination(m_pair.id); });
    statusBlock->addWidget(m_relink, 0, Qt::AlignVCenter);
    line->addLayout(statusBlock);
    column->addLayout(line);

    m_progressHolder = new QWidget(this);
    auto* progressLayout = new QHBoxLayout(m_progressHolder);
    progressLayout->setContentsMargins(kPaddingHorizontalPixels, 0, kPaddingHorizontalPixels, kProgressBottomPixels);
    m_progress = new pairrow::ProgressBar([this] { showStatusText(); }, m_progressHolder);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    progressLayout->addWidget(m_progress);
    column->addWidget(m_progressHolder);

    m_errorDetail = makeErrorDetail();
    column->addWidget(m_errorDetail);
    m_errorDetail->hide();
    setUpQuickAnimation(m_detailAnimation);
    connect(&m_detailAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double amount = value.toDouble();
        if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(m_errorDetail->graphicsEffect()))
            fade->setOpacity(amount);
        // Slides down from the main line as it fades in.
        m_errorDetail->setMaximumHeight(int(m_errorDetail->sizeHint().height() * amount));
    });
    connect(&m_detailAnimation, &QAbstractAnimation::finished, this, [this] {
        m_errorDetail->setGraphicsEffect(nullptr);
        m_errorDetail->setMaximumHeight(QWIDGETSIZE_MAX);
        m_errorDetail->setVisible(m_showErrorDetail);
        if (m_showErrorDetail)
            emit errorDetailUnfolded();
    });

    buildMenu();
    connect(&m_statusManager, &StatusManager::copyRedundancyChanged, this, &BackupPairRow::refresh);
    connect(&m_statusManager, &StatusManager::reconnectingChanged, this, &BackupPairRow::refresh);
    connect(&m_statusManager, &StatusManager::heldChanged, this, &BackupPairRow::refresh);
    refresh();
}

BackupPairRow::~BackupPairRow() = default;

QWidget* BackupPairRow::makeErrorDetail()
{
    auto* detail = new QWidget(this);
    detail->setObjectName(QStringLiteral("errorDetail"));
    auto* column = new QVBoxLayout(detail);
    column->setContentsMargins(kPaddingHorizontalPixels + kErrorIndentPixels, 0, kPaddingHorizontalPixels,
                               kErrorBottomPixels);
    column->setSpacing(kErrorSpacingPixels);

    m_errorDescriptionRow = new QWidget(detail);
    auto* descriptionRow = new QHBoxLayout(m_errorDescriptionRow);
    descriptionRow->setContentsMargins(0, 0, 0, 0);
    descriptionRow->setSpacing(kDetailSpacingPixels);
    descriptionRow->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), Theme::captionFont(),
                                             Tone::red, 0, m_errorDescriptionRow),
                              0, Qt::AlignTop);
    m_errorDescription = new ToneLabel({}, Theme::captionFont(), Tone::red, m_errorDescriptionRow);
    m_errorDescription->setObjectName(QStringLiteral("errorDescription"));
    m_errorDescription->setWordWrap(true);
    descriptionRow->addWidget(m_errorDescription, 1);
    column->addWidget(m_errorDescriptionRow);

    m_errorSuggestion = new ToneLabel({}, Theme::captionFont(), Tone::label, detail);
    m_errorSuggestion->setObjectName(QStringLiteral("errorSuggestion"));
    m_errorSuggestion->setWordWrap(true);
    column->addWidget(m_errorSuggestion);

    m_errorActions = new QWidget(detail);
    auto* actions = new QHBoxLayout(m_errorActions);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(kErrorActionSpacingPixels);
    const QUuid id = m_pair.id;
    const auto addAction = [&](ProblemAction action, const char* name, void (PairActions::*command)(const QUuid&)) {
        auto* button = new TextButton(problemActionLabel(action), Theme::systemFont(kRelinkPoints, QFont::Medium),
                                      Tone::green, m_errorActions);
        button->setObjectName(QString::fromLatin1(name));
        // Reached by reference, not through the captured row: GCC 12's vptr check takes the lambda
        // itself for the row in a pointer-to-member call and reports a fault that is not there.
        connect(button, &QAbstractButton::clicked, this,
                [&pairActions = m_actions, id, command] { (pairActions.*command)(id); });
        actions->addWidget(button);
        return button;
    };
    m_showDetails = addAction(ProblemAction::showDetails, "showDetailsButton", &PairActions::showRunErrors);
    m_restoreHeld = addAction(ProblemAction::restoreHeld, "restoreHeldButton", &PairActions::restoreHeldDeletions);
    m_confirmDeletion
        = addAction(ProblemAction::confirmDeletion, "confirmDeletionButton", &PairActions::confirmHeldDeletions);
    actions->addStretch(1);
    column->addWidget(m_errorActions);
    return detail;
}

void BackupPairRow::setPair(const BackupPair& pair)
{
    if (pair == m_pair)
        return;
    m_pair = pair;
    refresh();
}

void BackupPairRow::setEngine(BackupEngine* engine)
{
    if (m_engine == engine)
        return;
    if (m_engine)
        disconnect(m_engine, nullptr, this, nullptr);
    m_engine = engine;
    if (engine) {
        connect(engine, &BackupEngine::statusChanged, this, &BackupPairRow::refresh);
        connect(engine, &BackupEngine::destinationFreeSpaceChanged, this, &BackupPairRow::refresh);
        connect(engine, &BackupEngine::runOutcomeChanged, this, &BackupPairRow::refresh);
        connect(engine, &BackupEngine::watchWarningChanged, this, &BackupPairRow::refresh);
    }
    refresh();
}

QString BackupPairRow::statusText() const
{
    return m_statusLabel->text();
}

bool BackupPairRow::isPulsing() const
{
    return m_dot->isPulsing();
}

void BackupPairRow::refresh()
{
    m_status = m_engine ? m_engine->status() : BackupStatus::idle();
    const bool problem = hasProblem(m_status);
    // The problem went: its details go with it, at once.
    if (!problem && m_showErrorDetail)
        setErrorDetailShown(false, false);

    m_dot->setTone(statusDotTone(m_status));
    m_dot->setPulsing(isBusy(m_status) && animates());

    m_name->setText(m_pair.name);
    m_destination->setText(QStringLiteral("→ ") + folderName(m_pair.destinationURL));
    m_destination->setToolTip(displayPath(m_pair.destinationURL));

    const auto freeSpace = freeSpaceWarning(m_engine ? m_engine->destinationFreeSpace() : std::nullopt);
    m_freeSpaceIcon->setVisible(freeSpace.has_value());
    m_freeSpaceIcon->setToolTip(freeSpace.value_or(QString()));

    const QString watchWarning = m_engine ? m_engine->watchWarning() : QString();
    m_watchIcon->setVisible(!watchWarning.isEmpty());
    m_watchIcon->setToolTip(watchWarning);
    m_watchIcon->setAccessibleName(watchWarning);

    const QString offsite = offsiteSummary(m_pair, m_now());
    m_offsiteIcon->setVisible(!offsite.isEmpty());
    m_offsiteIcon->setToolTip(offsite);

    const auto& redundancies = m_statusManager.copyRedundancy();
    const auto found = redundancies.find(m_pair.id);
    const auto redundancy
        = redundancyWarning(found == redundancies.end() ? std::nullopt : std::optional<CopyRedundancy>(found->second));
    m_redundancyIcon->setVisible(redundancy.has_value());
    if (redundancy) {
        m_redundancyIcon->setSymbol(redundancy->symbol, redundancy->tone);
        m_redundancyIcon->setToolTip(redundancy->text);
        m_redundancyIcon->setAccessibleName(redundancy->text);
    }

    m_statusLabel->setTone(statusTextTone(m_status));
    const auto* syncing = m_status.as<BackupStatus::Syncing>();
    m_statusLabel->setToolTip(syncing ? syncing->currentFile : QString());
    m_relink->setVisible(offersRelink(m_status));

    // A bar that comes into view starts at its value: it must not run up from the last run's.
    const bool barShowing = m_progressHolder->isVisible();
    m_progressHolder->setVisible(syncing != nullptr);
    if (syncing)
        m_progress->setProgress(syncing->progress, barShowing && animates());
    showStatusText();

    refreshErrorDetail();
    setAccessibleDescription(problem ? QStringLiteral("Tap for details") : QString());
    if (m_menu && m_menu->isVisible())
        updateMenu();
}

void BackupPairRow::showStatusText()
{
    // While copying, the figure is the value the bar draws, also while the bar moves to a new one.
    BackupStatus shown = m_status;
    if (const auto* syncing = m_status.as<BackupStatus::Syncing>())
        shown = BackupStatus::syncing(m_progress->shown(), syncing->currentFile);
    const QString text = statusLabel(shown, m_pair.lastBackupAt, m_now(), m_statusManager.isReconnecting(m_pair.id));
    if (text != m_statusLabel->text())
        m_statusLabel->setText(text);
    if (const QString name = m_pair.name + QStringLiteral(", ") + text; name != accessibleName())
        setAccessibleName(name);
}

double BackupPairRow::shownProgress() const
{
    return m_progress->shown();
}

void BackupPairRow::refreshErrorDetail()
{
    const auto error = problemError(m_status, m_pair.destinationURL);
    const QString description = error ? error->errorDescription() : QString();
    const QString suggestion = error ? error->recoverySuggestion() : QString();
    m_errorDescription->setText(description);
    m_errorDescriptionRow->setVisible(!description.isEmpty());
    m_errorSuggestion->setText(suggestion);
    m_errorSuggestion->setVisible(!suggestion.isEmpty());

    const bool hasRunErrors = m_engine && !m_engine->lastRunErrors().empty();
    const std::vector<ProblemAction> actions = problemActions(m_status, hasRunErrors);
    const auto offered = [&](ProblemAction action) {
        return std::find(actions.begin(), actions.end(), action) != actions.end();
    };
    m_showDetails->setVisible(offered(ProblemAction::showDetails));
    m_restoreHeld->setVisible(offered(ProblemAction::restoreHeld));
    m_confirmDeletion->setVisible(offered(ProblemAction::confirmDeletion));
    m_errorActions->setVisible(!actions.empty());
}

void BackupPairRow::toggleErrorDetail()
{
    if (!hasProblem(m_status))
        return;
    setErrorDetailShown(!m_showErrorDetail, animates());
}

void BackupPairRow::setErrorDetailShown(bool shown, bool animated)
{
    m_showErrorDetail = shown;
    m_detailAnimation.stop();
    if (!animated || !isVisible()) {
        m_errorDetail->setGraphicsEffect(nullptr);
        m_errorDetail->setMaximumHeight(QWIDGETSIZE_MAX);
        m_errorDetail->setVisible(shown);
        if (shown)
            emit errorDetailUnfolded();
        return;
    }
    auto* fade = qobject_cast<QGraphicsOpacityEffect*>(m_errorDetail->graphicsEffect());
    if (!fade) {
        fade = new QGraphicsOpacityEffect(m_errorDetail);
        fade->setOpacity(shown ? 0.0 : 1.0);
        m_errorDetail->setGraphicsEffect(fade);
    }
    if (shown) {
        m_errorDetail->setMaximumHeight(int(m_errorDetail->sizeHint().height() * fade->opacity()));
        m_errorDetail->show();
    }
    startAnimation(m_detailAnimation, fade->opacity(), shown ? 1.0 : 0.0);
}

// --- Menu ---

void BackupPairRow::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("pairMenu"));
    const QUuid id = m_pair.id;
    m_backUpNow = m_menu->addAction(QStringLiteral("Back Up Now"), this, [this, id] { m_actions.backUpNow(id); });
    m_pauseResume = m_menu->addAction(QStringLiteral("Pause"), this, [this, id] { m_actions.togglePause(id); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Change Destination…"), this, [this, id] { m_actions.changeDestination(id); });
    m_menu->addAction(QStringLiteral("Reveal in File Manager"), this, [this, id] { m_actions.reveal(id); });
    m_menu->addAction(QStringLiteral("Restore Files…"), this, [this, id] { m_actions.requestRestore(id); });
    m_menu->addAction(QStringLiteral("Redo Smart Setup…"), this, [this, id] { m_actions.redoSmartSetup(id); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Remove This Backup…"), this, [this, id] { m_actions.remove(id); });
    connect(m_menu, &QMenu::aboutToShow, this, &BackupPairRow::updateMenu);
    // The pointer may have gone elsewhere while the menu was open.
    connect(m_menu, &QMenu::aboutToHide, this, &BackupPairRow::followPointer);
    updateMenu();
}

void BackupPairRow::updateMenu()
{
    // Paused by the user alone or with "Pause All", the pair is resumed, not backed up.
    const bool paused = m_statusManager.isPaused(m_pair);
    m_backUpNow->setEnabled(!paused);
    m_pauseResume->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

QMenu* BackupPairRow::contextMenu()
{
    updateMenu();
    return m_menu;
}

// --- Painting and the pointer ---

QSize BackupPairRow::sizeHint() const
{
    // Wrapped detail texts need the height of the width the row has, not of their one-line width.
    const int height = width() > 0 && layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                                    : layout()->sizeHint().height();
    return {QWidget::sizeHint().width(), height};
}

void BackupPairRow::paintEvent(QPaintEvent*)
{
    if (m_hoverAmount <= 0)
        return;
    QColor fill = Theme::subtleFill();
    fill.setAlphaF(float(fill.alphaF() * m_hoverAmount));
    QPainter painter(this);
    painter.fillRect(rect(), fill);
}

void BackupPairRow::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    setHovered(true);
}

void BackupPairRow::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHovered(false);
}

void BackupPairRow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Hidden under the pointer (the popover closed), no leave comes: shown again, it starts plain.
    m_hoverAnimation.stop();
    m_hovered = false;
    m_hoverAmount = 0;
}

void BackupPairRow::followPointer()
{
    setHovered(isVisible() && visibleRegion().contains(mapFromGlobal(QCursor::pos())));
}

void BackupPairRow::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    const double target = hovered ? 1.0 : 0.0;
    if (!animates()) {
        m_hoverAnimation.stop();
        m_hoverAmount = target;
        update();
        return;
    }
    startAnimation(m_hoverAnimation, m_hoverAmount, target);
}

void BackupPairRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    event->accept();
}

void BackupPairRow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    event->accept();
    if (rect().contains(event->position().toPoint()))
        toggleErrorDetail();
}

void BackupPairRow::contextMenuEvent(QContextMenuEvent* event)
{
    contextMenu()->popup(event->globalPos());
    event->accept();
}

} // namespace larkfold
