// SPDX-License-Identifier: MIT
// CConfigDlg: the "Brimvale Settings" dialog, in which the user sets the defaults the main
// window stores: picture size and quality, output type, whether the last choices become the
// defaults, the source folder as destination, and the update check at start.
#pragma once

#include "platform/widgets/dialog.h"

#include <cstdint>
#include <optional>

class CGroupCtrlEx;
class CSliderCtrl;

class CConfigDlg : public CDialog {
    Q_OBJECT
public:
    explicit CConfigDlg(QWidget* parent = nullptr);

    // What the dialog opens with and, after OK, what the user chose.
    std::int32_t m_nQuality = 0;    ///< default JPEG quality
    std::int32_t m_nSizeChoice = 0; ///< default size-choice code 0-9
    bool m_bLastSizeIsDefault = false;
    bool m_bLastQualityIsDefault = false;
    bool m_bUseSourceFolder = false;
    bool m_bAutoUpdate = false;
    double m_dCustomScale = 0.0; ///< the custom percent as a fraction
    std::int32_t m_nCustomWidth = 0;
    std::int32_t m_nCustomHeight = 0;
    std::int32_t m_nSaveType = 0; ///< output type 0-4

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* pDX) override;
    const platform::MessageMap* GetMessageMap() const override;

    void OnHScroll(UINT code, UINT position, QWidget* bar);

private:
    /// The number an edit holds, or nullopt (after saying so and focusing the edit) when it
    /// holds none above 0.
    std::optional<std::int32_t> positiveNumber(int editId, const char* what);

    CSliderCtrl* m_wndQualitySlider = nullptr;
    CGroupCtrlEx* m_grpSize = nullptr;
    CGroupCtrlEx* m_grpQuality = nullptr;
    CGroupCtrlEx* m_grpType = nullptr;
};
