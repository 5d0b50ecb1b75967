// SPDX-License-Identifier: MIT
// CImgTypeDlg.
#include "app/imgtypedlg.h"

#include "res/resource.h"

CImgTypeDlg::CImgTypeDlg(QWidget* parent) : CDialog(IDD_IMAGETYPE, parent) {}

BOOL CImgTypeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // A type the dialog does not offer shows JPG.
    const int checked = m_nType >= 0 && m_nType <= 4 ? IDC_TYPE_JPG + m_nType : IDC_TYPE_JPG;
    CheckRadioButton(IDC_TYPE_JPG, IDC_TYPE_PSD, checked);
    return TRUE;
}

void CImgTypeDlg::OnOK() {
    if (const int checked = GetCheckedRadioButton(IDC_TYPE_JPG, IDC_TYPE_PSD)) m_nType = checked - IDC_TYPE_JPG;
    CDialog::OnOK();
}
