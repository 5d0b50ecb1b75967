// SPDX-License-Identifier: MIT
// Long work on the user-interface thread without a frozen window: while a BusyScope lives,
// the window repaints and timers run whenever the work calls pump(), a busy cursor shows,
// and clicks and keys meant for the window are dropped (not held back and replayed once the
// work is done); other windows, such as a question the work asks, take input as usual. A
// request to close the window (its close box, Escape, or a click on its close button) is
// remembered for afterwards.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QWidget;

class BusyScope : public QObject {
    Q_OBJECT
public:
    explicit BusyScope(QWidget* window);
    ~BusyScope() override;
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    /// Lets pending events other than user input run: at the first call, then at most
    /// every few hundredths of a second.
    void pump();
    /// How the window was asked to close while the scope lived.
    enum class CloseRequest { None, CloseBox, Escape, CloseButton };
    CloseRequest closeRequest() const { return m_closeRequest; }
    bool closeRequested() const { return m_closeRequest != CloseRequest::None; }
    /// A click released on this button counts as CloseButton (the window's own "Close").
    void setCloseButton(QWidget* button) { m_closeButton = button; }
    /// True while any scope lives.
    static bool active();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isWindowInput(QObject* watched) const;

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_closeButton;
    QElapsedTimer m_sincePump;
    bool m_bPumped = false;
    CloseRequest m_closeRequest = CloseRequest::None;
};
