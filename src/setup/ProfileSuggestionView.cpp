#include "setup/ProfileSuggestionView.h"

#include "setup/SheetParts.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/FilledButton.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/Theme.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace larkfold {
namespace {

constexpr int kCardWidthPixels = 460;
constexpr int kCardInsetPixels = 20;
constexpr int kCardSpacingPixels = 16;
constexpr int kHeaderSpacingPixels = 12;
constexpr double kHeaderSymbolPoints = 26;
constexpr int kHeaderSymbolBoxPixels = 36;
constexpr int kHeaderLineSpacingPixels = 2;
constexpr int kSectionSpacingPixels = 6;
constexpr int kDisclosureSpacingPixels = 4;
constexpr double kChevronPoints = 10;
constexpr double kChevronOpenDegrees = 90;
constexpr int kDetailsSpacingPixels = 5;
constexpr int kDetailsIndentPixels = 14;
constexpr int kBulletSpacingPixels = 8;
constexpr int kDetailsGapPixels = 4;
constexpr int kTechnicalSpacingPixels = 3;
constexpr int kTechnicalFontPixels = 10;
constexpr int kButtonSpacingPixels = 8;
constexpr double kButtonPoints = 13;
constexpr int kButtonPaddingVerticalPixels = 7;
constexpr int kDeclinePaddingHorizontalPixels = 16;
constexpr int kAcceptPaddingHorizontalPixels = 18;

// The chevron of a disclosure: points right while closed, turns to point down while open.
class DisclosureChevron : public SymbolView {
public:
    DisclosureChevron(const QFont& font, Tone tone, QWidget* parent = nullptr)
        : SymbolView(QStringLiteral("chevron.right"), font, tone, 0, parent)
    {
        setObjectName(QStringLiteral("disclosureChevron"));
        setProperty("turnedDegrees", m_degrees);
        m_turn.setDuration(Theme::quickAnimation().durationMs);
        m_turn.setEasingCurve(Theme::quickAnimation().curve);
        connect(&m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_degrees = value.toDouble();
            setProperty("turnedDegrees", m_degrees);
            setRotation(m_degrees);
        });
    }

    void setOpen(bool open)
    {
        m_turn.stop();
        m_turn.setStartValue(m_degrees);
        m_turn.setEndValue(open ? kChevronOpenDegrees : 0.0);
        m_turn.start();
    }

private:
    double m_degrees = 0;
    QVariantAnimation m_turn;
};

QFont technicalFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(kTechnicalFontPixels);
    return font;
}

} // namespace

ProfileSuggestionView::ProfileSuggestionView(BackupProfile recommended, const QString& pairName, qint64 totalBytes,
                                             std::function<void()> onAccept, std::function<void()> onDecline,
                                             QWidget* parent)
    : QWidget(parent)
    , m_model(std::make_unique<ProfileSuggestionModel>(recommended, pairName, totalBytes, std::move(onAccept),
                                                       std::move(onDecline)))
{
    setObjectName(QStringLiteral("profileSuggestionView"));
    setFixedWidth(kCardWidthPixels);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kCardInsetPixels, kCardInsetPixels, kCardInsetPixels, kCardInsetPixels);
    column->setSpacing(kCardSpacingPixels);
    column->addWidget(makeHeader());

    // The description and the section scroll when the open section needs more than the window's height.
    auto* body = new QWidget;
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(0, 0, 0, 0);
    bodyColumn->setSpacing(kCardSpacingPixels);
    QLabel* description = makeText(m_model->profileDescription(), Theme::bodyFont(), Tone::label, true);
    description->setObjectName(QStringLiteral("description"));
    bodyColumn->addWidget(description);
    if (m_model->hasChangeSection())
        bodyColumn->addWidget(makeChangeSection());
    bodyColumn->addStretch(1);
    m_scroll = new BoundedScrollArea(body, QWIDGETSIZE_MAX);
    m_scroll->setObjectName(QStringLiteral("bodyScroll"));
    m_scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    // Wrapped texts take their height for the width they get, not the taller one they would ask for alone.
    body->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    column->addWidget(m_scroll, 1);
    column->addWidget(makeButtonRow());

    showSection();
}

ProfileSuggestionView::~ProfileSuggestionView() = default;

QWidget* ProfileSuggestionView::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kHeaderSpacingPixels);
    auto* symbol = new SymbolView(m_model->symbolName(), Theme::systemFont(kHeaderSymbolPoints, QFont::Light),
                                  Tone::green, kHeaderSymbolBoxPixels);
    symbol->setObjectName(QStringLiteral("profileSymbol"));
    row->addWidget(symbol, 0, Qt::AlignVCenter);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(kHeaderLineSpacingPixels);
    QLabel* headline = makeText(m_model->headline(), Theme::titleFont(), Tone::label, true);
    headline->setObjectName(QStringLiteral("headline"));
    lines->addWidget(headline);
    QLabel* size = makeText(m_model->sizeText(), Theme::captionFont(), Tone::secondary);
    size->setObjectName(QStringLiteral("sizeLine"));
    lines->addWidget(size);
    row->addLayout(lines, 1);
    return header;
}

QWidget* ProfileSuggestionView::makeChangeSection()
{
    auto* section = new QWidget;
    section->setObjectName(QStringLiteral("changeSection"));
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSectionSpacingPixels);

    auto* disclosure = new PlainButton(section);
    disclosure->setObjectName(QStringLiteral("whatThisChangesButton"));
    disclosure->setAccessibleName(ProfileSuggestionModel::changeSectionTitle());
    auto* disclosureRow = new QHBoxLayout(disclosure);
    disclosureRow->setContentsMargins(0, 0, 0, 0);
    disclosureRow->setSpacing(kDisclosureSpacingPixels);
    auto* chevron = new DisclosureChevron(Theme::systemFont(kChevronPoints, QFont::DemiBold), Tone::green);
    disclosureRow->addWidget(chevron, 0, Qt::AlignVCenter);
    disclosureRow->addWidget(makeText(ProfileSuggestionModel::changeSectionTitle(), Theme::bodyFont(), Tone::green),
                             0, Qt::AlignVCenter);
    connect(disclosure, &QAbstractButton::clicked, m_model.get(), &ProfileSuggestionModel::toggleWhatThisChanges);
    connect(m_model.get(), &ProfileSuggestionModel::showWhatThisChangesChanged, chevron, &DisclosureChevron::setOpen);
    column->addWidget(disclosure, 0, Qt::AlignLeft);

    m_changeDetails = new QWidget(section);
    m_changeDetails->setObjectName(QStringLiteral("changeDetails"));
    auto* details = new QVBoxLayout(m_changeDetails);
    details->setContentsMargins(kDetailsIndentPixels, 0, 0, 0);
    details->setSpacing(kDetailsSpacingPixels);
    for (const QString& bullet : m_model->changeBullets()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(kBulletSpacingPixels);
        row->addWidget(makeText(QStringLiteral("•"), Theme::captionFont(), Tone::tertiary), 0, Qt::AlignTop);
        QLabel* text = makeText(bullet, Theme::captionFont(), Tone::label, true);
        text->setObjectName(QStringLiteral("changeBullet"));
        row->addWidget(text, 1, Qt::AlignTop);
        details->addLayout(row);
    }

    details->addSpacing(kDetailsGapPixels);
    auto* toggle = new PlainButton(m_changeDetails);
    toggle->setObjectName(QStringLiteral("technicalDetailsButton"));
    auto* toggleRow = new QHBoxLayout(toggle);
    toggleRow->setContentsMargins(0, 0, 0, 0);
    QFont underlined = Theme::smallFont();
    underlined.setUnderline(true);
    m_technicalToggleLabel = makeText({}, underlined, Tone::tertiary, false, toggle);
    m_technicalToggleLabel->setObjectName(QStringLiteral("technicalDetailsLabel"));
    toggleRow->addWidget(m_technicalToggleLabel);
    connect(toggle, &QAbstractButton::clicked, m_model.get(), &ProfileSuggestionModel::toggleTechnicalDetails);
    details->addWidget(toggle, 0, Qt::AlignLeft);

    m_technicalLines = new QWidget(m_changeDetails);
    m_technicalLines->setObjectName(QStringLiteral("technicalLines"));
    auto* lines = new QVBoxLayout(m_technicalLines);
    lines->setContentsMargins(0, kDetailsGapPixels, 0, 0);
    lines->setSpacing(kTechnicalSpacingPixels);
    for (const QString& line : m_model->technicalLines()) {
        QLabel* text = makeText(line, technicalFont(), Tone::secondary, true);
        text->setObjectName(QStringLiteral("technicalLine"));
        lines->addWidget(text);
    }
    details->addWidget(m_technicalLines);
    column->addWidget(m_changeDetails);

    connect(m_model.get(), &ProfileSuggestionModel::showWhatThisChangesChanged, this, &ProfileSuggestionView::showSection);
    connect(m_model.get(), &ProfileSuggestionModel::showTechnicalDetailsChanged, this, &ProfileSuggestionView::showSection);
    return section;
}

QWidget* ProfileSuggestionView::makeButtonRow()
{
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kButtonSpacingPixels);
    row->addStretch(1);

    auto* decline = new FilledButton(ProfileSuggestionModel::declineTitle(), Theme::systemFont(kButtonPoints),
                                     FilledButton::Kind::quiet, buttons);
    decline->setTextTone(Tone::label);
    decline->setPadding(kDeclinePaddingHorizontalPixels, kButtonPaddingVerticalPixels);
    decline->setObjectName(QStringLiteral("declineButton"));
    connect(decline, &QAbstractButton::clicked, m_model.get(), &ProfileSuggestionModel::decline);
    row->addWidget(decline, 0, Qt::AlignVCenter);

    auto* accept = new FilledButton(m_model->acceptTitle(), Theme::systemFont(kButtonPoints, QFont::DemiBold),
                                    FilledButton::Kind::accent, buttons);
    accept->setPadding(kAcceptPaddingHorizontalPixels, kButtonPaddingVerticalPixels);
    accept->setObjectName(QStringLiteral("acceptButton"));
    connect(accept, &QAbstractButton::clicked, m_model.get(), &ProfileSuggestionModel::accept);
    row->addWidget(accept, 0, Qt::AlignVCenter);

    // The window's default action: Return presses the primary button wherever the focus is.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, accept, &QAbstractButton::click);
    }
    return buttons;
}

void ProfileSuggestionView::showSection()
{
    if (!m_changeDetails)
        return;
    m_changeDetails->setVisible(m_model->showWhatThisChanges());
    m_technicalLines->setVisible(m_model->showTechnicalDetails());
    m_technicalToggleLabel->setText(m_model->technicalDetailsTitle());
    // Once the layout has placed what opened or closed.
    QTimer::singleShot(0, this, &ProfileSuggestionView::fitWindow);
}

void ProfileSuggestionView::fitWindow()
{
    QWidget* window = this->window();
    if (window == this || !m_scroll->widget())
        return;
    if (m_openedHeight == 0)
        m_openedHeight = window->height();
    // Grown to show all that is open, within the screen, and back to its first height when less
    // is open; what still does not fit scrolls, from the top, so the description stays in sight.
    const int needed = m_scroll->widget()->heightForWidth(m_scroll->viewport()->width());
    const int missing = (needed > 0 ? needed : m_scroll->widget()->sizeHint().height()) - m_scroll->viewport()->height();
    int height = std::max(m_openedHeight, window->height() + missing);
    if (const QScreen* screen = window->screen())
        height = std::min(height, screen->availableGeometry().height());
    if (height == window->height())
        return;
    if (window->minimumHeight() == window->maximumHeight())
        window->setFixedHeight(height);
    else
        window->resize(window->width(), height);
}

} // namespace larkfold
