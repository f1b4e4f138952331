#pragma once

#include <QWidget>

namespace larkfold {

// The two texts that explain the offsite copy, shown by the add-a-backup sheet and by
// onboarding: a heading and its explanation, leading-aligned, 6 pixels apart.
class OffsiteIntroHeader : public QWidget {
    Q_OBJECT
public:
    explicit OffsiteIntroHeader(QWidget* parent = nullptr);

    static QString heading();
    static QString explanation();
};

} // namespace larkfold
