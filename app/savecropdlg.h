// SPDX-License-Identifier: MIT
// CSaveCropDlg: where and how the cropped section is saved: an output size (fitted to a box in
// the section's proportions, typed, the screen's, or the section's own), a JPEG quality, a
// type, a destination folder (or the source's) and a file name.
#pragma once

#include "platform/widgets/dialog.h"

#include <QString>

#include <cstdint>

class CGroupCtrlEx;

class CSaveCropDlg : public CDialog {
    Q_OBJECT
public:
    explicit CSaveCropDlg(QWidget* parent = nullptr);

    std::int32_t m_nWidth = 0;      ///< in: the cropped size; out: the output size
    std::int32_t m_nHeight = 0;
    std::int32_t m_nQuality = 100;
    std::int32_t m_nType = 0;       ///< writer type: 0 JPG, 6 PNG, 2 BMP, 21 GIF, 14 Photoshop
    QString m_strExt = QStringLiteral("jpg");
    QString m_strDestFolder;
    bool m_bUseSourceFolder = false;
    QString m_strSourceFolder;      ///< the source picture's folder
    std::int32_t m_nSizeChoice = 0; ///< the main window's size choice, for the preselection
    QString m_strFileName;          ///< without extension
    bool m_bAppendCropped = true;
    /// The type radio checked when the dialog opens (0 JPG … 4 Photoshop).
    int m_nTypeRadio = 0;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* pDX) override;
    const platform::MessageMap* GetMessageMap() const override;

    void OnBrowse();
    void OnUseSourceFolder();
    /// One size radio of the section's size and the box sizes is checked at a time.
    void OnSizeRadio(UINT id);

private:
    CGroupCtrlEx* m_grpSize = nullptr;
    CGroupCtrlEx* m_grpQuality = nullptr;
    CGroupCtrlEx* m_grpType = nullptr;
    CGroupCtrlEx* m_grpSaveAs = nullptr;
    std::int32_t m_nScreenWidth = 0;
    std::int32_t m_nScreenHeight = 0;
};
