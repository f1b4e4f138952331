#include "app/PopoverHost.h"

#include "app/WindowPlacement.h"
#include "platform/Log.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace larkfold {
namespace {

// Long enough for the press that closed the popup to arrive as the icon's click.
constexpr qint64 kReopenGuardMs = 300;

} // namespace

PopoverHost::PopoverHost(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(flags());
    setWindowTitle(QStringLiteral("Larkfold"));
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void PopoverHost::setContent(QWidget* content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void PopoverHost::setStandalone(bool standalone)
{
    if (m_standalone == standalone)
        return;
    m_standalone = standalone;
    applyFlags();
}

void PopoverHost::setPinned(bool pinned)
{
    if (m_pinned == pinned)
        return;
    m_pinned = pinned;
    if (!m_standalone)
        applyFlags();
}

Qt::WindowFlags PopoverHost::flags() const
{
    if (m_standalone)
        return Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (m_pinned)
        return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    return Qt::Popup | Qt::FramelessWindowHint;
}

void PopoverHost::applyFlags()
{
    const bool wasVisible = isVisible();
    const QPoint place = pos();
    m_switchingFlags = true;
    setWindowFlags(flags());
    if (wasVisible) {
        move(place);
        show();
        raise();
        activateWindow();
    }
    m_switchingFlags = false;
}

void PopoverHost::showUnder(const std::optional<QRect>& iconGeometry, const QPoint& iconPoint)
{
    QScreen* screen = iconGeometry ? QGuiApplication::screenAt(iconGeometry->center()) : nullptr;
    if (!screen)
        screen = QGuiApplication::screenAt(iconPoint);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen && !m_standalone)
        move(popoverOrigin(iconGeometry, iconPoint, size(), screen->availableGeometry()));
    show();
    raise();
    activateWindow();
}

bool PopoverHost::closedJustNow() const
{
    return m_sinceClosed.isValid() && m_sinceClosed.elapsed() < kReopenGuardMs;
}

void PopoverHost::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_switchingFlags)
        return;
    m_sinceClosed.start();
    qCDebug(lcTray) << "popover hidden";
    emit closed();
}

} // namespace larkfold
