#pragma once

#include "setup/SetupPrompts.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace larkfold {

// A question whose first button goes on ("Remove") and whose second keeps things as they are.
struct ConfirmAlert {
    QString message;
    QString informativeText;
    QString confirmButton;
    QString cancelButton;

    bool operator==(const ConfirmAlert&) const = default;
};

// The panels and alerts of a pair row's commands; tests answer them. Main thread only; each
// call is modal and returns once the user has answered.
class PairActionPrompts : public SetupPrompts {
public:
    // True only when the user answered with the first button.
    virtual bool confirmFirst(const ConfirmAlert& alert) = 0;
    // Says why something could not be done; the user can only acknowledge it.
    virtual void tell(const QString& message) = 0;
};

// The real panels and alerts. Panels and folder alerts open on their own, as the popover has
// closed by then; the other alerts open over `window`.
class DialogPairActionPrompts final : public PairActionPrompts {
public:
    explicit DialogPairActionPrompts(QWidget* window);
    ~DialogPairActionPrompts() override;

    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override;
    bool confirm(const FolderAlert& alert) override;
    bool confirmFirst(const ConfirmAlert& alert) override;
    void tell(const QString& message) override;

private:
    QWidget* window() const;

    std::unique_ptr<SetupPrompts> m_folderPrompts;
    QPointer<QWidget> m_window;
};

} // namespace larkfold
