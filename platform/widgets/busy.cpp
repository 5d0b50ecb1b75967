// SPDX-License-Identifier: MIT
// BusyScope: repaints during long work, user input dropped.
#include "platform/widgets/busy.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QInputEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <QWidget>

namespace {
int g_activeScopes = 0;
constexpr qint64 kPumpIntervalMs = 30;
} // namespace

BusyScope::BusyScope(QWidget* window) : m_window(window) {
    ++g_activeScopes;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
}

BusyScope::~BusyScope() {
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    --g_activeScopes;
}

bool BusyScope::active() { return g_activeScopes > 0; }

void BusyScope::pump() {
    if (m_bPumped && m_sincePump.elapsed() < kPumpIntervalMs) return;
    m_bPumped = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sincePump.restart();
}

bool BusyScope::isWindowInput(QObject* watched) const {
    if (!m_window) return false;
    if (auto* widget = qobject_cast<QWidget*>(watched)) return widget == m_window || m_window->isAncestorOf(widget);
    return watched == m_window->windowHandle();
}

bool BusyScope::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Close) {
        if (!m_window || watched != m_window) return false;
        if (m_closeRequest == CloseRequest::None) m_closeRequest = CloseRequest::CloseBox;
        event->ignore();
        return true;
    }
    // Mouse, wheel, key, touch, tablet, context-menu and shortcut events of the window: dropped
    // for good, after noting a request to close.
    const bool input = type == QEvent::Shortcut || type == QEvent::ShortcutOverride ||
                       dynamic_cast<QInputEvent*>(event) != nullptr;
    if (!input || !isWindowInput(watched)) return false;
    if (m_closeRequest == CloseRequest::None) {
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_closeRequest = CloseRequest::Escape;
        } else if (type == QEvent::MouseButtonRelease && m_closeButton && m_closeButton->isVisible()) {
            const QPointF global = static_cast<QMouseEvent*>(event)->globalPosition();
            if (m_closeButton->rect().contains(m_closeButton->mapFromGlobal(global).toPoint()))
                m_closeRequest = CloseRequest::CloseButton;
        }
    }
    return true;
}
