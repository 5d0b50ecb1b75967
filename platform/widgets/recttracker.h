// SPDX-License-Identifier: MIT
// CRectTracker: a rubber band the user drags with the left button held down. TrackRubberBand
// runs its own event loop until the button is released, so a press handler can track the
// whole drag and then act on the rectangle, in one call.
#pragma once

#include "platform/widgets/winuser.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

class QEventLoop;
class QRubberBand;
class QWidget;

class CRectTracker : public QObject {
    Q_OBJECT
public:
    /// Styles of the band's outline; the band is drawn as the desktop draws rubber bands.
    enum StyleFlags : UINT { solidLine = 1, dottedLine = 2 };

    CRectTracker(const RECT& rect, UINT style);
    ~CRectTracker() override;

    /// Tracks a band from `point` (in `widget`'s coordinates) until the left button is released.
    /// TRUE when a rectangle was drawn: m_rect then runs from the start to the release point
    /// (with allowInvert its corners may be in any order, else it is normalised). FALSE for a
    /// plain click (released within the desktop's drag distance), for Escape (which goes no
    /// further), and when the drag cannot end with a release: the mouse grab or the window's
    /// activation is lost, or the button turns out to be up already.
    BOOL TrackRubberBand(QWidget* widget, QPoint point, BOOL allowInvert = TRUE);

    RECT m_rect;
    UINT m_nStyle;
    /// After TrackRubberBand: the drag was cancelled (Escape, grab or activation lost) rather
    /// than ended by a release.
    bool m_bCancelled = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moveTo(QPoint widgetPoint);
    void finish(bool drawn, bool cancelled = false);

    QPointer<QWidget> m_widget;
    QRubberBand* m_band = nullptr;
    QEventLoop* m_loop = nullptr;
    QPoint m_start, m_end;
    bool m_bDrawn = false;
    bool m_bFinished = false;
};
