// SPDX-License-Identifier: MIT
// CRectTracker: the rubber band and its local event loop.
#include "platform/widgets/recttracker.h"

#include <QApplication>
#include <QEventLoop>
#include <QInputEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

#include <algorithm>

CRectTracker::CRectTracker(const RECT& rect, UINT style) : m_rect(rect), m_nStyle(style) {}

CRectTracker::~CRectTracker() = default;

BOOL CRectTracker::TrackRubberBand(QWidget* widget, QPoint point, BOOL allowInvert) {
    if (!widget || m_loop) return FALSE;
    m_widget = widget;
    m_start = m_end = point;
    m_bDrawn = false;
    m_bCancelled = false;
    m_bFinished = false;
    m_rect = RECT{point.x(), point.y(), point.x(), point.y()};

    QRubberBand band(QRubberBand::Rectangle, widget);
    m_band = &band;
    QEventLoop loop;
    m_loop = &loop;
    qApp->installEventFilter(this);
    // The pointer belongs to the band until the release (platforms without windows have no grab).
    const bool grab = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (grab) widget->grabMouse(Qt::CrossCursor);
    loop.exec();
    if (grab) widget->releaseMouse();
    qApp->removeEventFilter(this);
    m_loop = nullptr;
    m_band = nullptr;

    if (!m_bDrawn) return FALSE;
    m_rect = RECT{m_start.x(), m_start.y(), m_end.x(), m_end.y()};
    if (!allowInvert) {
        m_rect = RECT{std::min(m_start.x(), m_end.x()), std::min(m_start.y(), m_end.y()),
                      std::max(m_start.x(), m_end.x()), std::max(m_start.y(), m_end.y())};
    }
    return TRUE;
}

void CRectTracker::moveTo(QPoint widgetPoint) {
    m_end = widgetPoint;
    m_band->setGeometry(QRect(m_start, m_end).normalized());
    if (!m_band->isVisible() && (m_end - m_start).manhattanLength() >= QApplication::startDragDistance())
        m_band->show();
}

void CRectTracker::finish(bool drawn, bool cancelled) {
    // The first ending counts: events already queued behind it change nothing.
    if (m_bFinished) return;
    m_bFinished = true;
    m_bDrawn = drawn;
    m_bCancelled = cancelled;
    if (m_loop) m_loop->quit();
}

bool CRectTracker::eventFilter(QObject* watched, QEvent* event) {
    if (!m_loop || !m_widget) return false;
    if (m_bFinished) return event->type() != QEvent::Hide && dynamic_cast<QInputEvent*>(event) != nullptr;
    switch (event->type()) {
    case QEvent::MouseMove: {
        if (!watched->isWidgetType()) return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = m_widget->mapFromGlobal(mouse->globalPosition()).toPoint();
        // A move with the button up: the release went elsewhere and will not come.
        if (!(mouse->buttons() & Qt::LeftButton)) {
            moveTo(at);
            finish((m_end - m_start).manhattanLength() >= QApplication::startDragDistance());
        } else {
            moveTo(at);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (!watched->isWidgetType()) return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return true;
        moveTo(m_widget->mapFromGlobal(mouse->globalPosition()).toPoint());
        finish((m_end - m_start).manhattanLength() >= QApplication::startDragDistance());
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut: return watched->isWidgetType();
    case QEvent::KeyPress:
        // Escape cancels the band and goes no further (the window would close on it).
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) finish(false, true);
        return true;
    case QEvent::Hide:
        if (watched == m_widget) finish(false, true);
        return false;
    case QEvent::UngrabMouse:
    case QEvent::WindowDeactivate:
        if (watched == m_widget->window() || watched == m_widget) finish(false, true);
        return false;
    case QEvent::ApplicationStateChange:
        if (QGuiApplication::applicationState() != Qt::ApplicationActive) finish(false, true);
        return false;
    default: return false;
    }
}
