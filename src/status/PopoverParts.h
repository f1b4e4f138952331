#pragma once

#include "status/PopoverTexts.h"

#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>

namespace larkfold {

// The colour of a tone in the current palette: for dots and symbols, and for text.
QColor toneColor(Tone tone);
QColor toneTextColor(Tone tone);

// Text in a tone, drawn in the palette's colours of the moment, so it follows light and dark.
class ToneLabel : public QLabel {
    Q_OBJECT
public:
    ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent = nullptr);

    Tone tone() const { return m_tone; }
    void setTone(Tone tone);

protected:
    bool event(QEvent* event) override;

private:
    void applyTone();

    Tone m_tone;
};

// One line of text cut to the width it gets, in a tone.
class ElidedLine : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text)
public:
    ElidedLine(const QFont& font, Tone tone, Qt::TextElideMode mode, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    Tone m_tone;
    Qt::TextElideMode m_mode;
};

// One of our monochrome symbols, as tall as a line of `font`, in a tone.
class ToneSymbol : public QWidget {
    Q_OBJECT
public:
    ToneSymbol(const QString& name, const QFont& font, Tone tone, QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    Tone tone() const { return m_tone; }
    void setSymbol(const QString& name, Tone tone);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    QFont m_font;
    Tone m_tone;
};

} // namespace larkfold
