#include "setup/SheetParts.h"

#include "widgets/Theme.h"

#include <QChildEvent>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace larkfold {
namespace {

constexpr int kWarningPaddingPixels = 10;
constexpr int kWarningSpacingPixels = 6;
constexpr int kWarningCornerRadiusPixels = 8;
constexpr double kWarningFillOpacity = 0.1;
constexpr double kWarningPoints = 11;
constexpr int kChevronSpacingPixels = 4;
constexpr double kChevronPoints = 10;
constexpr int kFilledButtonPaddingPixels = 8;
constexpr int kFilledButtonCornerRadiusPixels = 8;
constexpr double kFilledButtonPoints = 13;
constexpr int kChoiceRowPaddingHorizontalPixels = 10;
constexpr int kChoiceRowPaddingVerticalPixels = 7;
constexpr int kChoiceRowSpacingPixels = 10;
constexpr int kChoiceRowLineSpacingPixels = 1;
constexpr int kChoiceRowCornerRadiusPixels = 6;
constexpr int kScrollBarWidthPixels = 7;

void setTextColor(QWidget* widget, const QColor& color)
{
    // Set the role too: inside a button a label would otherwise draw in the button's text colour.
    widget->setForegroundRole(QPalette::WindowText);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace

QLabel* makeText(const QString& text, const QFont& font, const QColor& color, bool wraps, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wraps);
    setTextColor(label, color);
    return label;
}

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QWidget* makeSeparator(int inset, QWidget* parent)
{
    auto* holder = new QWidget(parent);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(inset, 0, inset, 0);
    auto* line = new QWidget(holder);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::separatorColor());
    line->setPalette(palette);
    layout->addWidget(line);
    return holder;
}

// --- MiddleElidedText ---

MiddleElidedText::MiddleElidedText(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : QWidget(parent), m_text(text), m_color(color)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString MiddleElidedText::shownText() const
{
    return fontMetrics().elidedText(m_text, Qt::ElideMiddle, width());
}

QSize MiddleElidedText::sizeHint() const
{
    // Eliding measures in fractions of a pixel: a width rounded down would cut the whole text.
    const int width = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_text))) + 1;
    return {width, fontMetrics().height()};
}

QSize MiddleElidedText::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void MiddleElidedText::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void MiddleElidedText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color);
    painter.drawText(rect(), int(m_alignment | Qt::AlignVCenter), shownText());
}

// --- SymbolView ---

SymbolView::SymbolView(const QString& name, const QFont& font, const QColor& color, int boxWidth, QWidget* parent)
    : QWidget(parent), m_name(name), m_font(font), m_color(color), m_boxWidth(boxWidth)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

QSize SymbolView::sizeHint() const
{
    const int side = QFontMetrics(m_font).height();
    return {std::max(side, m_boxWidth), side};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    const QPixmap symbol = Theme::symbol(m_name, m_font, m_color, devicePixelRatioF());
    if (symbol.isNull())
        return;
    const QSizeF size = symbol.deviceIndependentSize();
    QPainter painter(this);
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), symbol);
}

// --- PlainButton ---

PlainButton::PlainButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
}

QSize PlainButton::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QSize();
}

QSize PlainButton::minimumSizeHint() const
{
    return layout() ? layout()->minimumSize() : QSize();
}

void PlainButton::paintEvent(QPaintEvent*) {}

void PlainButton::childEvent(QChildEvent* event)
{
    QAbstractButton::childEvent(event);
    if (event->added() && event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setAttribute(Qt::WA_TransparentForMouseEvents);
}

// --- RowButton ---

RowButton::RowButton(int cornerRadius, bool reduceMotion, QWidget* parent)
    : PlainButton(parent), m_cornerRadius(cornerRadius), m_reduceMotion(reduceMotion)
{
    setAttribute(Qt::WA_Hover);
    m_hoverAnimation.setDuration(Theme::quickAnimation().durationMs);
    m_hoverAnimation.setEasingCurve(Theme::quickAnimation().curve);
    connect(&m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverAmount = value.toDouble();
        update();
    });
}

void RowButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QColor RowButton::fillColor() const
{
    if (m_selected)
        return Theme::selectedFill();
    return withOpacity(Theme::subtleFill(), m_hoverAmount);
}

void RowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColor());
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}

void RowButton::enterEvent(QEnterEvent* event)
{
    PlainButton::enterEvent(event);
    setHovered(true);
}

void RowButton::leaveEvent(QEvent* event)
{
    PlainButton::leaveEvent(event);
    setHovered(false);
}

void RowButton::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    const double target = hovered ? 1.0 : 0.0;
    m_hoverAnimation.stop();
    if (m_reduceMotion) {
        m_hoverAmount = target;
        update();
        return;
    }
    m_hoverAnimation.setStartValue(m_hoverAmount);
    m_hoverAnimation.setEndValue(target);
    m_hoverAnimation.start();
}

// --- WarningBox ---

WarningBox::WarningBox(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kWarningPaddingPixels, kWarningPaddingPixels, kWarningPaddingPixels,
                               kWarningPaddingPixels);
    layout->setSpacing(kWarningSpacingPixels);
    layout->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"),
                                     Theme::systemFont(kWarningPoints), Theme::amber(), 0, this),
                      0, Qt::AlignTop);
    m_text = makeText({}, Theme::systemFont(kWarningPoints), Theme::secondaryLabelColor(), true, this);
    m_text->setObjectName(QStringLiteral("warningText"));
    layout->addWidget(m_text, 1);
}

void WarningBox::setText(const QString& text)
{
    m_text->setText(text);
}

QString WarningBox::text() const
{
    return m_text->text();
}

void WarningBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(Theme::amber(), kWarningFillOpacity));
    painter.drawRoundedRect(QRectF(rect()), kWarningCornerRadiusPixels, kWarningCornerRadiusPixels);
}

PlainButton* makeChooseAnyFolderButton(QWidget* parent)
{
    auto* button = new PlainButton(parent);
    button->setObjectName(QStringLiteral("chooseAnyFolderButton"));
    button->setAccessibleName(QStringLiteral("Choose any folder"));
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kChevronSpacingPixels);
    layout->addWidget(makeText(QStringLiteral("Choose any folder"), Theme::bodyFont(), Theme::secondaryLabelColor()));
    layout->addWidget(new SymbolView(QStringLiteral("chevron.right"),
                                     Theme::systemFont(kChevronPoints, QFont::DemiBold), Theme::secondaryLabelColor()));
    return button;
}

// --- RoundedCard ---

RoundedCard::RoundedCard(double cornerRadius, QWidget* parent) : QWidget(parent), m_cornerRadius(cornerRadius) {}

void RoundedCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}

// --- BoundedScrollArea ---

BoundedScrollArea::BoundedScrollArea(QWidget* content, int maximumHeight, QWidget* parent)
    : QScrollArea(parent), m_maximumHeight(maximumHeight)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    setMaximumHeight(maximumHeight);
    // A slim bar without arrows, in the text colour, as scrolling lists of the desktop's own look.
    const QColor handle = Theme::tertiaryLabelColor();
    verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: %1px; background: transparent; margin: 2px 1px 2px 0; }"
                       "QScrollBar::handle:vertical { background: rgba(%2, %3, %4, %5); border-radius: %6px;"
                       " min-height: 20px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(kScrollBarWidthPixels)
            .arg(handle.red())
            .arg(handle.green())
            .arg(handle.blue())
            .arg(handle.alpha())
            .arg((kScrollBarWidthPixels - 1) / 2));
    // The window's background shows through.
    viewport()->setAutoFillBackground(false);
    replaceContent(content);
}

void BoundedScrollArea::replaceContent(QWidget* content)
{
    if (QWidget* old = takeWidget())
        old->deleteLater();
    content->setAutoFillBackground(false);
    // Rows keep their height; the area scrolls instead of squeezing them.
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    setWidget(content);
    updateGeometry();
}

QSize BoundedScrollArea::sizeHint() const
{
    const QSize content = widget()->sizeHint();
    return {content.width(), std::min(content.height(), m_maximumHeight)};
}

QSize BoundedScrollArea::minimumSizeHint() const
{
    return {0, 0};
}

// --- FilledButton ---

FilledButton::FilledButton(const QString& label, QWidget* parent) : PlainButton(parent)
{
    setAccessibleName(label);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, kFilledButtonPaddingPixels, 0, kFilledButtonPaddingPixels);
    m_label = makeText(label, Theme::systemFont(kFilledButtonPoints, QFont::DemiBold), Theme::white(), false, this);
    m_label->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_label);
}

QString FilledButton::label() const
{
    return m_label->text();
}

void FilledButton::setLabel(const QString& label)
{
    m_label->setText(label);
    setAccessibleName(label);
}

void FilledButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? Theme::greenButtonFill().darker(115) : Theme::greenButtonFill());
    painter.drawRoundedRect(QRectF(rect()), kFilledButtonCornerRadiusPixels, kFilledButtonCornerRadiusPixels);
}

// --- Choice rows ---

RowButton* makeChoiceRow(const ChoiceRow& row, bool selected, bool reduceMotion, QWidget* parent)
{
    auto* button = new RowButton(kChoiceRowCornerRadiusPixels, reduceMotion, parent);
    button->setSelected(selected);
    button->setAccessibleName(row.title);
    button->setToolTip(row.toolTip);
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(kChoiceRowPaddingHorizontalPixels, kChoiceRowPaddingVerticalPixels,
                               kChoiceRowPaddingHorizontalPixels, kChoiceRowPaddingVerticalPixels);
    layout->setSpacing(kChoiceRowSpacingPixels);
    layout->addWidget(new SymbolView(row.symbol, Theme::systemFont(row.symbolPoints),
                                     selected ? Theme::green() : Theme::secondaryLabelColor(), row.symbolBoxWidth));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(kChoiceRowLineSpacingPixels);
    auto* title = new MiddleElidedText(row.title, withWeight(Theme::bodyFont(), QFont::Medium), Theme::labelColor());
    title->setObjectName(QStringLiteral("rowTitle"));
    lines->addWidget(title);
    auto* subtitle = new MiddleElidedText(row.subtitle, Theme::smallFont(), Theme::tertiaryLabelColor());
    subtitle->setObjectName(QStringLiteral("rowSubtitle"));
    lines->addWidget(subtitle);
    layout->addLayout(lines, 1);
    if (selected) {
        auto* check = new SymbolView(row.checkSymbol, row.checkFont, Theme::green());
        check->setObjectName(QStringLiteral("checkmark"));
        layout->addWidget(check);
    }
    return button;
}

} // namespace larkfold
