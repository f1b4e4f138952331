#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QScrollArea>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>

class QLabel;

namespace larkfold {

// A text in a font and colour of the theme; one line unless `wraps`.
QLabel* makeText(const QString& text, const QFont& font, const QColor& color, bool wraps = false,
                 QWidget* parent = nullptr);

// `font` at another weight.
QFont withWeight(QFont font, QFont::Weight weight);

// A one-pixel line in the separator colour, `inset` pixels in from both sides.
QWidget* makeSeparator(int inset = 0, QWidget* parent = nullptr);

// One line of text cut in the middle to the width it gets.
class MiddleElidedText : public QWidget {
    Q_OBJECT
public:
    MiddleElidedText(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setAlignment(Qt::Alignment alignment);
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft;
};

// One of our monochrome symbols, as tall as a line of `font`, centred in a box at least
// `boxWidth` wide.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& name, const QFont& font, const QColor& color, int boxWidth = 0,
               QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    const QColor& color() const { return m_color; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    QFont m_font;
    QColor m_color;
    int m_boxWidth;
};

// A button that draws nothing itself: it shows what its layout holds, and its whole rectangle
// takes the click.
class PlainButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlainButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Children never take the pointer, so a click anywhere reaches the button.
    void childEvent(QChildEvent* event) override;
};

// A selectable row on a rounded rectangle: the selected fill when selected, else a fill that
// fades in while the pointer is over it (at once when motion is reduced).
class RowButton : public PlainButton {
    Q_OBJECT
    Q_PROPERTY(bool hovered READ isHovered)
public:
    RowButton(int cornerRadius, bool reduceMotion, QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovered() const { return m_hovered; }
    // How far the hover look has come in: 0 to 1.
    double hoverAmount() const { return m_hoverAmount; }
    // The background as drawn now.
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    int cornerRadius() const { return m_cornerRadius; }

private:
    void setHovered(bool hovered);

    int m_cornerRadius;
    bool m_reduceMotion;
    bool m_selected = false;
    bool m_hovered = false;
    double m_hoverAmount = 0;
    QVariantAnimation m_hoverAnimation;
};

// A rounded rectangle in the control background colour, under lists and summaries.
class RoundedCard : public QWidget {
    Q_OBJECT

public:
    explicit RoundedCard(double cornerRadius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_cornerRadius;
};

// The amber box that says why a folder cannot be taken.
class WarningBox : public QWidget {
    Q_OBJECT
public:
    explicit WarningBox(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_text = nullptr;
};

// A scrolling area as tall as its content, up to `maximumHeight`; shrinks when space runs short.
class BoundedScrollArea : public QScrollArea {
    Q_OBJECT
public:
    BoundedScrollArea(QWidget* content, int maximumHeight, QWidget* parent = nullptr);

    // Shows `content` in place of the old one, which goes once the event that asked has ended,
    // since a click on the old content may be what asked.
    void replaceContent(QWidget* content);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    int m_maximumHeight;
};

// The green button that finishes a flow, its label in white across its whole width.
class FilledButton : public PlainButton {
    Q_OBJECT
public:
    explicit FilledButton(const QString& label, QWidget* parent = nullptr);

    QString label() const;
    void setLabel(const QString& label);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label = nullptr;
};

// A row that offers a folder (an earlier destination, a cloud folder): a symbol, a title and a
// line below it, and a mark while it is the chosen one.
struct ChoiceRow {
    QString symbol;
    double symbolPoints = 14;
    int symbolBoxWidth = 0;
    QString title;
    QString subtitle;
    QString toolTip;
    QString checkSymbol;
    QFont checkFont;
};
RowButton* makeChoiceRow(const ChoiceRow& row, bool selected, bool reduceMotion, QWidget* parent = nullptr);

// The plain "Choose any folder ›" button of the destination and offsite steps.
PlainButton* makeChooseAnyFolderButton(QWidget* parent = nullptr);

} // namespace larkfold
