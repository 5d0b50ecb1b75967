// SPDX-License-Identifier: MIT
// A push button its dialog paints (BS_OWNERDRAW): every paint asks the dialog's OnDrawItem
// with the button's id, its rectangle, its state (pressed, focused, disabled) and a
// device context over the button.
#pragma once

#include <QPushButton>

class OwnerDrawButton : public QPushButton {
    Q_OBJECT
public:
    explicit OwnerDrawButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
