#pragma once

#include <QWidget>

#include <memory>

namespace larkfold {

class FilingPrompts;
class PromoteView;
class PromoteViewModel;

// The "File a Finished Project" window on a filing model of its own opener's. Closing it stops
// no filing.
class FilingWindow : public QWidget {
    Q_OBJECT
public:
    // With the real panels unless `prompts` are given. The model must outlive the window.
    explicit FilingWindow(PromoteViewModel& model, std::unique_ptr<FilingPrompts> prompts = nullptr,
                          QWidget* parent = nullptr);
    ~FilingWindow() override;

    static QString title();
    PromoteView& view() const { return *m_view; }
    PromoteViewModel& model() const { return m_model; }

protected:
    // Keys that reach the window itself, with no control focused, go to its content.
    void keyPressEvent(QKeyEvent* event) override;

private:
    PromoteViewModel& m_model;
    std::unique_ptr<FilingPrompts> m_prompts;
    PromoteView* m_view = nullptr;
};

} // namespace larkfold
