// SPDX-License-Identifier: MIT
// The save-cropped-image dialog.
#include "app/savecropdlg.h"

#include "browse/folderdialog.h"
#include "controls/groupctrlex.h"
#include "platform/services.h"
#include "preview/croprules.h"
#include "res/resource.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr int kSizeRadios[] = {IDC_CROP_SIZE_1024,   IDC_CROP_SIZE_800,        IDC_CROP_SIZE_640,
                               IDC_CROP_SIZE_1920,   IDC_CROP_SIZE_SCREEN,     IDC_CROP_SIZE_DIMENSIONS,
                               IDC_CROP_SIZE_CROPPED};

std::string text(const QString& s) { return s.toStdString(); }

} // namespace

CSaveCropDlg::CSaveCropDlg(QWidget* parent) : CDialog(IDD_SAVECROP, parent) {}

const platform::MessageMap* CSaveCropDlg::GetMessageMap() const {
    static const auto map = platform::MessageMapOf<CSaveCropDlg>()
                                .on(BN_CLICKED, IDC_CROP_BROWSE, &CSaveCropDlg::OnBrowse)
                                .on(BN_CLICKED, IDC_CROP_USESOURCE, &CSaveCropDlg::OnUseSourceFolder)
                                .onRange(BN_CLICKED, IDC_CROP_SIZE_1024, IDC_CROP_SIZE_DIMENSIONS,
                                         &CSaveCropDlg::OnSizeRadio)
                                .onRange(BN_CLICKED, IDC_CROP_SIZE_CROPPED, IDC_CROP_SIZE_CROPPED,
                                         &CSaveCropDlg::OnSizeRadio)
                                .on(BN_CLICKED, IDOK, &CSaveCropDlg::OnOK)
                                .on(BN_CLICKED, IDCANCEL, &CSaveCropDlg::OnCancel);
    return &map;
}

void CSaveCropDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CROP_SIZE_GROUP, m_grpSize);
    DDX_Control(pDX, IDC_CROP_QUALITY_GROUP, m_grpQuality);
    DDX_Control(pDX, IDC_CROP_TYPE_GROUP, m_grpType);
    DDX_Control(pDX, IDC_CROP_SAVEAS_GROUP, m_grpSaveAs);
}

BOOL CSaveCropDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nQuality = 100;
    const struct {
        CGroupCtrlEx* group;
        COLORREF colour;
    } groups[] = {{m_grpSize, RGB(192, 0, 0)},
                  {m_grpQuality, RGB(0, 128, 0)},
                  {m_grpType, RGB(0, 0, 128)},
                  {m_grpSaveAs, RGB(144, 30, 8)}};
    for (const auto& g : groups) {
        g.group->m_crText = g.colour;
        g.group->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
        m_nScreenWidth = pixels.width();
        m_nScreenHeight = pixels.height();
    }
    SetDlgItemText(IDC_CROP_SIZE_SCREEN, QString::asprintf("Screen Size: %d x %d", m_nScreenWidth, m_nScreenHeight));
    SetDlgItemText(IDC_CROP_SIZE_CROPPED, QString::asprintf("Cropped Size:\n%d x %d", m_nWidth, m_nHeight));
    SetDlgItemText(IDC_CROP_WIDTH_EDIT, QString::asprintf("%d", m_nWidth));
    SetDlgItemText(IDC_CROP_HEIGHT_EDIT, QString::asprintf("%d", m_nHeight));
    SetDlgItemText(IDC_CROP_FOLDER, m_bUseSourceFolder ? m_strSourceFolder : m_strDestFolder);
    SetDlgItemText(IDC_CROP_FILENAME, m_strFileName);
    CheckDlgButton(IDC_CROP_KEEPASPECT, BST_CHECKED);
    CheckDlgButton(IDC_CROP_APPENDCROPPED, m_bAppendCropped ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CROP_USESOURCE, m_bUseSourceFolder ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET, IDC_QUALITY_100); // the quality starts at 100
    CheckRadioButton(IDC_CROP_TYPE_JPG, IDC_CROP_TYPE_PSD, IDC_CROP_TYPE_JPG + m_nTypeRadio);
    OnSizeRadio(kSizeRadios[static_cast<int>(CropSizeButtonFor(m_nSizeChoice))]);
    return TRUE;
}

void CSaveCropDlg::OnSizeRadio(UINT id) {
    for (int radio : kSizeRadios) CheckDlgButton(radio, radio == static_cast<int>(id) ? BST_CHECKED : BST_UNCHECKED);
}

void CSaveCropDlg::OnOK() {
    CropSizeRequest size;
    size.button = CropSizeButton::Cropped;
    for (int i = 0; i < 7; ++i)
        if (IsDlgButtonChecked(kSizeRadios[i])) size.button = static_cast<CropSizeButton>(i);
    size.preserveAspect = IsDlgButtonChecked(IDC_CROP_KEEPASPECT) == BST_CHECKED;
    size.cropWidth = m_nWidth;
    size.cropHeight = m_nHeight;
    size.screenWidth = m_nScreenWidth;
    size.screenHeight = m_nScreenHeight;
    size.widthText = text(GetDlgItemText(IDC_CROP_WIDTH_EDIT));
    size.heightText = text(GetDlgItemText(IDC_CROP_HEIGHT_EDIT));

    int typeRadio = 0;
    for (int i = 0; i < 5; ++i)
        if (IsDlgButtonChecked(IDC_CROP_TYPE_JPG + i)) typeRadio = i;
    const int checkedQuality = GetCheckedRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET);
    int qualityRadio = -1;
    if (checkedQuality == IDC_QUALITY_SET) qualityRadio = 5;
    else if (checkedQuality) qualityRadio = checkedQuality - IDC_QUALITY_25;
    const bool useSource = IsDlgButtonChecked(IDC_CROP_USESOURCE) == BST_CHECKED;
    const QString folder = useSource ? m_strSourceFolder : GetDlgItemText(IDC_CROP_FOLDER);
    const QString fileName = GetDlgItemText(IDC_CROP_FILENAME);

    // A file that would land at the root, or a name that is none, keeps the dialog open.
    if (const auto problem = CropPathProblem(text(folder), text(fileName))) {
        AfxMessageBox(*problem);
        return;
    }
    const CropSize out = CropOutputSize(size);
    m_nWidth = out.width;
    m_nHeight = out.height;
    m_bAppendCropped = IsDlgButtonChecked(IDC_CROP_APPENDCROPPED) == BST_CHECKED;
    const CropType type = CropTypeForRadio(typeRadio);
    m_nType = type.writerType;
    m_strExt = QString::fromLatin1(type.extension);
    m_nQuality = CropQuality(qualityRadio, text(GetDlgItemText(IDC_CROP_QUALITY_EDIT)), m_nQuality);
    m_bUseSourceFolder = useSource;
    m_strDestFolder = folder;
    m_strFileName = fileName;
    CDialog::OnOK();
}

void CSaveCropDlg::OnBrowse() {
    CFolderDialog browser(m_strDestFolder, this);
    if (browser.DoModal() != IDOK) return;
    m_strDestFolder = browser.m_szFolderPath;
    SetDlgItemText(IDC_CROP_FOLDER, m_strDestFolder);
    CheckDlgButton(IDC_CROP_USESOURCE, BST_UNCHECKED);
    m_bUseSourceFolder = false;
}

void CSaveCropDlg::OnUseSourceFolder() {
    m_bUseSourceFolder = IsDlgButtonChecked(IDC_CROP_USESOURCE) == BST_CHECKED;
    SetDlgItemText(IDC_CROP_FOLDER, m_bUseSourceFolder ? m_strSourceFolder : m_strDestFolder);
}
