// SPDX-License-Identifier: MIT
// CImgTypeDlg: the small dialog in which the user picks the file type of the saved
// pictures (0 JPG, 1 PNG, 2 BMP, 3 GIF, 4 Photoshop).
#pragma once

#include "platform/widgets/dialog.h"

#include <cstdint>

class CImgTypeDlg : public CDialog {
    Q_OBJECT
public:
    explicit CImgTypeDlg(QWidget* parent = nullptr);

    /// The type shown when the dialog opens, and the choice after OK.
    std::int32_t m_nType = 0;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
