// SPDX-License-Identifier: MIT
// The settings dialog.
#include "app/configdlg.h"

#include "controls/groupctrlex.h"
#include "platform/scanint.h"
#include "platform/services.h"
#include "platform/widgets/controls.h"
#include "res/resource.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// The size radio of each size-choice code.
constexpr int kSizeRadios[] = {IDC_CFG_SIZE_1024, IDC_CFG_SIZE_800,     IDC_CFG_SIZE_640,       IDC_CFG_SIZE_320,
                               IDC_CFG_SIZE_50,   IDC_CFG_SIZE_25,      IDC_CFG_SIZE_PERCENT,   IDC_CFG_SIZE_DIMENSIONS,
                               IDC_CFG_SIZE_75,   IDC_CFG_SIZE_SCREEN};

constexpr std::int32_t kQualities[] = {25, 50, 75, 90, 100};

// The quality radio of a quality; one without a radio of its own is "Set".
int qualityRadio(std::int32_t quality) {
    for (int i = 0; i < 5; ++i)
        if (kQualities[i] == quality) return IDC_QUALITY_25 + i;
    return IDC_QUALITY_SET;
}

} // namespace

CConfigDlg::CConfigDlg(QWidget* parent) : CDialog(IDD_CONFIG, parent) {}

const platform::MessageMap* CConfigDlg::GetMessageMap() const {
    static const auto map = platform::MessageMapOf<CConfigDlg>()
                                .onHScroll(&CConfigDlg::OnHScroll)
                                .on(BN_CLICKED, IDOK, &CConfigDlg::OnOK)
                                .on(BN_CLICKED, IDCANCEL, &CConfigDlg::OnCancel);
    return &map;
}

void CConfigDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CFG_QUALITY_SLIDER, m_wndQualitySlider);
    DDX_Control(pDX, IDC_CFG_SIZE_GROUP, m_grpSize);
    DDX_Control(pDX, IDC_CFG_QUALITY_GROUP, m_grpQuality);
    DDX_Control(pDX, IDC_CFG_TYPE_GROUP, m_grpType);
}

BOOL CConfigDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (m_nSizeChoice >= 0 && m_nSizeChoice <= 9)
        CheckRadioButton(IDC_CFG_SIZE_1024, IDC_CFG_SIZE_SCREEN, kSizeRadios[m_nSizeChoice]);
    if (m_nSizeChoice == 6) {
        // Rounded: 0.29 × 100 is 28.999… in a double.
        SetDlgItemText(IDC_CFG_PERCENT_EDIT, QString::asprintf("%d", static_cast<int>(std::lround(m_dCustomScale * 100))));
    } else if (m_nSizeChoice == 7) {
        SetDlgItemText(IDC_CFG_WIDTH_EDIT, QString::asprintf("%d", m_nCustomWidth));
        SetDlgItemText(IDC_CFG_HEIGHT_EDIT, QString::asprintf("%d", m_nCustomHeight));
    }

    // The slider and its edit always show the quality, so a quality without a radio of its own
    // opens on "Set" and comes back unchanged from an untouched OK, and "Set" alone keeps it.
    m_wndQualitySlider->SetRange(1, 100);
    m_wndQualitySlider->SetPos(std::clamp(m_nQuality, 1, 100));
    SetDlgItemText(IDC_CFG_QUALITY_EDIT, QString::asprintf("%d", m_wndQualitySlider->GetPos()));
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET, qualityRadio(m_nQuality));

    const int type = m_nSaveType >= 0 && m_nSaveType <= 4 ? m_nSaveType : 0;
    CheckRadioButton(IDC_CFG_TYPE_JPG, IDC_CFG_TYPE_PSD, IDC_CFG_TYPE_JPG + type);

    CheckDlgButton(IDC_CFG_LASTSIZE, m_bLastSizeIsDefault ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CFG_LASTQUALITY, m_bLastQualityIsDefault ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CFG_USESOURCE, m_bUseSourceFolder ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CFG_AUTOUPDATE, m_bAutoUpdate ? BST_CHECKED : BST_UNCHECKED);

    unsigned screenWidth = 0, screenHeight = 0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
        screenWidth = static_cast<unsigned>(pixels.width());
        screenHeight = static_cast<unsigned>(pixels.height());
    }
    SetDlgItemText(IDC_CFG_SIZE_SCREEN, QString::asprintf("Screen: %u X %u", screenWidth, screenHeight));

    m_grpType->m_crText = RGB(0, 0, 255);
    m_grpType->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    m_grpQuality->m_crText = RGB(0, 128, 0);
    m_grpQuality->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    m_grpSize->m_crText = RGB(128, 0, 0);
    m_grpSize->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return TRUE;
}

void CConfigDlg::OnHScroll(UINT code, UINT position, QWidget* bar) {
    if (code != SB_THUMBPOSITION || platform::GetDlgCtrlID(bar) != IDC_CFG_QUALITY_SLIDER) return;
    SetDlgItemText(IDC_CFG_QUALITY_EDIT, QString::asprintf("%u", position));
    m_nQuality = static_cast<std::int32_t>(position);
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET, qualityRadio(m_nQuality));
}

std::optional<std::int32_t> CConfigDlg::positiveNumber(int editId, const char* what) {
    const std::optional<std::int32_t> value = ScanInt(GetDlgItemText(editId).toStdString());
    if (value && *value > 0) return value;
    AfxMessageBox(std::string("Enter a ") + what + " greater than 0.", MB_OK | MB_ICONWARNING);
    if (auto* edit = GetDlgItemAs<QLineEdit>(editId)) {
        edit->setFocus();
        edit->selectAll();
    }
    return std::nullopt;
}

void CConfigDlg::OnOK() {
    // The size first: a custom size the user left empty, at 0 or below keeps the dialog open
    // before anything changes.
    const int sizeRadio = GetCheckedRadioButton(IDC_CFG_SIZE_1024, IDC_CFG_SIZE_SCREEN);
    std::int32_t percent = 0, width = 0, height = 0;
    if (sizeRadio == IDC_CFG_SIZE_PERCENT) {
        const auto value = positiveNumber(IDC_CFG_PERCENT_EDIT, "percent");
        if (!value) return;
        percent = *value;
    } else if (sizeRadio == IDC_CFG_SIZE_DIMENSIONS) {
        const auto w = positiveNumber(IDC_CFG_WIDTH_EDIT, "width");
        if (!w) return;
        const auto h = positiveNumber(IDC_CFG_HEIGHT_EDIT, "height");
        if (!h) return;
        width = *w;
        height = *h;
    }

    switch (sizeRadio) {
    case IDC_CFG_SIZE_1024: m_nSizeChoice = 0, m_nCustomWidth = 1024, m_nCustomHeight = 768; break;
    case IDC_CFG_SIZE_800: m_nSizeChoice = 1, m_nCustomWidth = 800, m_nCustomHeight = 600; break;
    case IDC_CFG_SIZE_640: m_nSizeChoice = 2, m_nCustomWidth = 640, m_nCustomHeight = 480; break;
    case IDC_CFG_SIZE_320: m_nSizeChoice = 3, m_nCustomWidth = 320, m_nCustomHeight = 240; break;
    case IDC_CFG_SIZE_DIMENSIONS: m_nSizeChoice = 7, m_nCustomWidth = width, m_nCustomHeight = height; break;
    case IDC_CFG_SIZE_75: m_nSizeChoice = 8, m_dCustomScale = 0.75; break;
    case IDC_CFG_SIZE_50: m_nSizeChoice = 4, m_dCustomScale = 0.5; break;
    case IDC_CFG_SIZE_25: m_nSizeChoice = 5, m_dCustomScale = 0.25; break;
    case IDC_CFG_SIZE_PERCENT: m_nSizeChoice = 6, m_dCustomScale = percent / 100.0; break;
    case IDC_CFG_SIZE_SCREEN: m_nSizeChoice = 9; break;
    default: break; // none checked: the size stays as it was
    }

    const int qualityId = GetCheckedRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET);
    if (qualityId == IDC_QUALITY_SET) m_nQuality = m_wndQualitySlider->GetPos();
    else if (qualityId) m_nQuality = kQualities[qualityId - IDC_QUALITY_25];

    if (const int typeId = GetCheckedRadioButton(IDC_CFG_TYPE_JPG, IDC_CFG_TYPE_PSD))
        m_nSaveType = typeId - IDC_CFG_TYPE_JPG;

    m_bLastSizeIsDefault = IsDlgButtonChecked(IDC_CFG_LASTSIZE) == BST_CHECKED;
    m_bLastQualityIsDefault = IsDlgButtonChecked(IDC_CFG_LASTQUALITY) == BST_CHECKED;
    m_bUseSourceFolder = IsDlgButtonChecked(IDC_CFG_USESOURCE) == BST_CHECKED;
    m_bAutoUpdate = IsDlgButtonChecked(IDC_CFG_AUTOUPDATE) == BST_CHECKED;
    CDialog::OnOK();
}
