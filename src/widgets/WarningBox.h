#pragma once

// A warning on a faint amber card: the warning sign and a text that wraps.

#include "widgets/RoundedCard.h"

#include <QString>

namespace larkfold {

class ToneLabel;

class WarningBox : public RoundedCard {
    Q_OBJECT
public:
    explicit WarningBox(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

private:
    ToneLabel* m_text = nullptr;
};

} // namespace larkfold
