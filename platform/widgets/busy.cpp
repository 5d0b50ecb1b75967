// SPDX-License-Identifier: MIT
// BusyScope: repaints during long work, user input dropped.
#include "platform/widgets/busy.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QInputEvent>
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

bool BusyScope::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Close:
        if (m_window && watched == m_window) {
            m_bCloseRequested = true;
            event->ignore();
            return true;
        }
        return false;
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride: return true;
    default: break;
    }
    // Mouse, wheel, key, touch, tablet and context-menu events: dropped for good.
    return dynamic_cast<QInputEvent*>(event) != nullptr;
}
