// SPDX-License-Identifier: MIT
// Long work on the user-interface thread without a frozen window: while a BusyScope lives,
// the window repaints and timers run whenever the work calls pump(), a busy cursor shows,
// and clicks and keys meant for the application are dropped (not held back and replayed
// once the work is done). A request to close the window is remembered for afterwards.
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
    /// True when the window was asked to close while the scope lived.
    bool closeRequested() const { return m_bCloseRequested; }
    /// True while any scope lives.
    static bool active();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    QElapsedTimer m_sincePump;
    bool m_bPumped = false;
    bool m_bCloseRequested = false;
};
