#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace larkfold {

// The window that holds the popover's content: a frameless popup of 300 x 360 under the status
// item that closes on a click elsewhere, or, without any tray to hang from, a normal window.
class PopoverHost : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 360;

    explicit PopoverHost(QWidget* parent = nullptr);

    // Takes the content, replacing the earlier one.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Without a tray the popover is an ordinary window the user can move and close.
    void setStandalone(bool standalone);
    bool isStandalone() const { return m_standalone; }

    // While pinned the popover is a frameless tool window, which its own dialogs and panels do not
    // close: a popup closes as soon as another window takes the input. Stays where it is.
    void setPinned(bool pinned);
    bool isPinned() const { return m_pinned; }

    // Opens under the icon: at its geometry when known, else at `iconPoint` (where the pointer
    // clicked it), kept on that screen.
    void showUnder(const std::optional<QRect>& iconGeometry, const QPoint& iconPoint);
    // Whether it closed just now, as a click outside it does; the same click on the icon must
    // then not open it again.
    bool closedJustNow() const;

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    Qt::WindowFlags flags() const;
    // Takes the flags of the current mode, shown again where it was when it was visible.
    void applyFlags();

    QPointer<QWidget> m_content;
    bool m_standalone = false;
    bool m_pinned = false;
    // A change of flags hides the window for a moment: not a close.
    bool m_switchingFlags = false;
    QElapsedTimer m_sinceClosed;
};

} // namespace larkfold
