#pragma once

#include <QWidget>

#include <memory>

namespace larkfold {

class FilingPrompts;
class PromoteView;
class PromoteViewModel;

// The "File a Finished Project" window on the application's one filing model. A window opened
// while a filing runs shows that filing; closing it stops nothing.
class FilingWindow : public QWidget {
    Q_OBJECT
public:
    // With the real panels unless `prompts` are given. The model must outlive the window.
    explicit FilingWindow(PromoteViewModel& model, std::unique_ptr<FilingPrompts> prompts = nullptr,
                          QWidget* parent = nullptr);
    ~FilingWindow() override;

    static QString title();
    PromoteView& view() const { return *m_view; }

protected:
    // Keys that reach the window itself, with no control focused, go to its content.
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<FilingPrompts> m_prompts;
    PromoteView* m_view = nullptr;
};

} // namespace larkfold
