#pragma once

#include <QScrollArea>

namespace larkfold {

// The content of the "How Larkfold Works" window: the topics that explain how Larkfold keeps files
// safe, each opening on a click to a short explanation. Reads no records and changes nothing.
class LearnView : public QScrollArea {
    Q_OBJECT

public:
    explicit LearnView(QWidget* parent = nullptr);

    QSize sizeHint() const override;
};

} // namespace larkfold
