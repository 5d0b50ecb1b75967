// SPDX-License-Identifier: MIT
// The main window: set-up, window menu, owner-drawn buttons, painting and closing.
#include "app/brimvaledlg.h"

#include "app/aboutdlg.h"
#include "app/configdlg.h"
#include "app/settings.h"
#include "controls/groupctrlex.h"
#include "controls/label.h"
#include "net/updatecheck.h"
#include "net/versionfilewriter.h"
#include "platform/services.h"
#include "platform/widgets/controls.h"
#include "platform/widgets/gdi.h"
#include "platform/widgets/resources.h"
#include "preview/previewpane.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

struct ToolTip {
    int id;
    const char* text;
};

constexpr ToolTip kToolTips[] = {
    {IDC_SAVEIMAGES, "Save the selected images with the chosen size and quality to the designated folder."},
    {IDC_SETFOLDER, "Select the destination folder for the resized images."},
    {IDC_FOLDERTREE, "Expand the tree to find the folder containing the pictures to be resized."},
    {IDC_FILELIST, "Click on a file to display a preview. Check the check-box to add it to the list of images to "
                   "be resized and un-check to remove it from the list."},
    {IDC_SIZE_1024, "1024x768 will be an 87% reduction of a 3000x2000 image to approximately 700k."},
    {IDC_SIZE_800, "800x600 will be an 92% reduction of a 3000x2000 image to approximately 500k."},
    {IDC_SIZE_640, "640x480 will be an 95% reduction of a 3000x2000 image to approximately 350k."},
    {IDC_SIZE_320, "320x240 will be an 98.7% reduction of a 3000x2000 image to approximately 82k."},
    {IDC_SIZE_50, "This will create an image half as wide and half as tall as the original image producing a file "
                  "of approximately 450k."},
    {IDC_SIZE_25, "This will create an image one quarter as wide and one quarter as tall as the original image, "
                  "reducing a 3000x2000 image to approximately 150k."},
    {IDC_SIZE_PERCENT, "Set the percentage (1%-100%) the saved image is to be of the original image."},
    {IDC_SIZE_DIMENSIONS,
     "Explicitly set the dimensions of the re-sized image. Use either the width or height sliders, independently "
     "if the \"Keep Aspect Ratio\" checkbox is unchecked, or enter the sizes in the edit boxes."},
    {IDC_SIZE_75, "Set the width and height of the image to 75% of the original."},
    {IDC_SIZE_SCREEN, "Re-size the image to match the screen size."},
    {IDC_IMAGETYPE, "Select JPG, PNG, BMP, GIF or Photoshop image format for the re-sized image."},
    {IDOK, "Close Brimvale. Pressing the ESCape key also closes the program."},
    {IDC_CLEARLIST, "Clear the list of all images to be resized."},
    {IDC_QUALITY_25, "Saves an image with a 91% compression factor reducing a 3000x2000 image to approximately 400k "
                     "and a 50% image to 100k."},
    {IDC_QUALITY_50, "Saves an image with a 87% compression factor reducing a 3000x2000 image to approximately 550k "
                     "and a 50% image to 125k, but with significantly better colour reproduction."},
    {IDC_QUALITY_75, "Saves an image with a 80% compression factor reducing a 3000x2000 image to approximately 850k "
                     "and a 50% image to 200k."},
    {IDC_QUALITY_90, "Saves an image with a 63% compression factor reducing a 3000x2000 image to approximately 1.5MB "
                     "and a 50% image to 200k."},
    {IDC_QUALITY_100, "Saves an uncompressed image (a 3000x2000 image is approximately 3 to 4.5 MB)."},
    {IDC_SHOWFOLDER, "Open the folder containing the saved images in the file manager."},
    {IDC_USESOURCEFOLDER, "Save the smaller image in the same folder as the original. The new image is named "
                          "identifying the size reduction."},
    {IDC_QUALITY_SLIDER, "Use the slider to select the image quality for the saved images."},
    {IDC_PERCENT_SLIDER,
     "Use the slider to select the percentage of the original image. Aspect ratio will be preserved."},
};

// The quality radio of a quality; a quality without a radio of its own shows `otherwise`
// ("25" at start, "Set" after the settings dialog).
int qualityRadio(std::int32_t quality, int otherwise = IDC_QUALITY_25) {
    switch (quality) {
    case 25: return IDC_QUALITY_25;
    case 50: return IDC_QUALITY_50;
    case 75: return IDC_QUALITY_75;
    case 90: return IDC_QUALITY_90;
    case 100: return IDC_QUALITY_100;
    default: return otherwise;
    }
}

// The fonts of the owner-drawn buttons.
QFont buttonFont(int id) {
    LOGFONT lf;
    switch (id) {
    case IDC_SAVEIMAGES:
        lf.lfHeight = 24;
        lf.lfWeight = FW_BOLD;
        platform::setFaceName(lf, "Arial");
        break;
    case IDC_SETFOLDER:
    case IDC_SHOWFOLDER:
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        platform::setFaceName(lf, "Times New Roman");
        break;
    default: lf = platform::pointFontLogFont(60, "Arial Bold"); break;
    }
    return platform::fontFromLogFont(lf);
}

// The percent a scale shows: rounded, as 0.29 × 100 is 28.999… in a double.
int percentOf(double scale) { return static_cast<int>(std::lround(scale * 100)); }

// Keeps the wait cursor up while it lives.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

/// The update check started when the window opened: what it asks for and the thread that asks.
struct StartupUpdateCheck {
    net::CurrentProgram program;
    std::string fileUrl;
    std::string pageUrl;
    std::unique_ptr<net::BackgroundUpdateCheck> fetch;
};

CBrimvaleDlg::CBrimvaleDlg(QWidget* parent)
    : CDialog(IDD_BRIMVALE_DIALOG, parent),
      // The desktop theme's icon when Brimvale is installed, else the built-in one.
      m_hIcon(QIcon::fromTheme(QStringLiteral("org.brimvale.Brimvale"), platform::LoadIconResource(IDR_MAINFRAME))) {}

CBrimvaleDlg::~CBrimvaleDlg() {
    // Ends a start-up check still waiting before anything it could call back into is gone.
    m_pStartupCheck.reset();
}

const platform::MessageMap* CBrimvaleDlg::GetMessageMap() const {
    static const auto map =
        platform::MessageMapOf<CBrimvaleDlg>()
            .onRange(BN_CLICKED, kFirstRootFolderCommand, kLastRootFolderCommand, &CBrimvaleDlg::OnRootFolderCommand)
            .onNotify(NM_CLICK, IDC_FOLDERTREE, &CBrimvaleDlg::OnClickFolderTree)
            .onNotify(NM_DBLCLK, IDC_FOLDERTREE, &CBrimvaleDlg::OnDblClkFolderTree)
            .onNotify(NM_CLICK, IDC_FILELIST, &CBrimvaleDlg::OnClickFileList)
            .onNotify(NM_RCLICK, IDC_FILELIST, &CBrimvaleDlg::OnRClickFileList)
            .onNotify(NM_CUSTOMDRAW, IDC_FILELIST, &CBrimvaleDlg::OnCustomDrawFileList)
            .onNotify(LVN_KEYDOWN, IDC_FILELIST, &CBrimvaleDlg::OnKeyDownFileList)
            .onMessage(WM_CHECKBOXCHANGED, &CBrimvaleDlg::OnCheckBoxChanged)
            .on(BN_CLICKED, ID_FILEMENU_SELECTALL, &CBrimvaleDlg::OnSelectAll)
            .on(BN_CLICKED, ID_FILEMENU_CLEARALLSELECTIONS, &CBrimvaleDlg::OnClearAllSelections)
            .on(BN_CLICKED, IDC_CLEARLIST, &CBrimvaleDlg::OnClearList)
            .onRange(BN_CLICKED, IDC_SIZE_1024, IDC_SIZE_SCREEN, &CBrimvaleDlg::OnSizeRadio)
            .on(BN_CLICKED, IDC_KEEPASPECT, &CBrimvaleDlg::OnKeepAspect)
            .on(EN_CHANGE, IDC_PERCENT_EDIT, &CBrimvaleDlg::OnChangePercent)
            .on(EN_CHANGE, IDC_WIDTH_EDIT, &CBrimvaleDlg::OnChangeDimension)
            .on(EN_CHANGE, IDC_HEIGHT_EDIT, &CBrimvaleDlg::OnChangeDimension)
            .onVScroll(&CBrimvaleDlg::OnVScroll)
            .onHScroll(&CBrimvaleDlg::OnHScroll)
            .onRange(BN_CLICKED, IDC_QUALITY_25, IDC_QUALITY_100, &CBrimvaleDlg::OnQualityRadio)
            .on(BN_CLICKED, IDC_IMAGETYPE, &CBrimvaleDlg::OnImageType)
            .on(BN_CLICKED, IDC_SETFOLDER, &CBrimvaleDlg::OnSetFolder)
            .on(BN_CLICKED, IDC_SHOWFOLDER, &CBrimvaleDlg::OnShowFolder)
            .on(BN_CLICKED, IDC_USESOURCEFOLDER, &CBrimvaleDlg::OnUseSourceFolder)
            .on(CBN_SELCHANGE, IDC_DESTINATIONS, &CBrimvaleDlg::OnDestinationSelChange)
            .on(CBN_EDITCHANGE, IDC_DESTINATIONS, &CBrimvaleDlg::OnDestinationEditChange)
            .on(BN_CLICKED, IDC_SAVEIMAGES, &CBrimvaleDlg::OnSaveImages)
            .on(STN_CLICKED, IDC_PREVIEW, &CBrimvaleDlg::OnClickPreview)
            .on(BN_CLICKED, IDC_SAVECROP, &CBrimvaleDlg::OnSaveCrop)
            .on(BN_CLICKED, IDOK, &CBrimvaleDlg::OnOK)
            .on(BN_CLICKED, IDCANCEL, &CBrimvaleDlg::OnCancel);
    return &map;
}

void CBrimvaleDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FOLDERTREE, m_treeFolders);
    DDX_Control(pDX, IDC_FILELIST, m_listFiles);
    DDX_Control(pDX, IDC_SELECTEDLIST, m_listSelected);
    DDX_Control(pDX, IDC_PREVIEW, m_wndPreview);
    DDX_Control(pDX, IDC_STATUS, m_lblStatus);
    DDX_Control(pDX, IDC_QUALITY_GROUP, m_grpQuality);
    DDX_Control(pDX, IDC_SIZE_GROUP, m_grpSize);
    DDX_Control(pDX, IDC_DESTINATIONS, m_comboDestinations);
    DDX_Control(pDX, IDC_FILES_CAPTION, m_lblFiles);
    DDX_Control(pDX, IDC_FOLDERS_CAPTION, m_lblFolders);
    DDX_Control(pDX, IDC_WIDTH_SLIDER, m_sliderWidth);
    DDX_Control(pDX, IDC_HEIGHT_SLIDER, m_sliderHeight);
    DDX_Control(pDX, IDC_SELECTED_CAPTION, m_lblSelected);
    DDX_Control(pDX, IDC_QUALITY_SLIDER, m_sliderQuality);
    DDX_Control(pDX, IDC_PERCENT_SLIDER, m_sliderPercent);
    DDX_Control(pDX, IDC_PREVIEW_CAPTION, m_lblPreview);
    DDX_Control(pDX, IDC_DESTINATION, m_lblDestination);
    DDX_Control(pDX, IDC_DESTINATION_CAPTION, m_lblDestinationCaption);
    DDX_Control(pDX, IDC_PERCENT_CAPTION, m_lblPercentOptions);
    DDX_Control(pDX, IDC_DIMENSION_CAPTION, m_lblDimensionOptions);
}

BOOL CBrimvaleDlg::OnInitDialog() {
    // Filling the controls is no change of the user's: no handler runs meanwhile.
    m_bInitializing = true;
    CDialog::OnInitDialog();

    // The window menu: our items after the standard ones. An entry whose string is missing
    // is left out (entry 101 with the separator before it).
    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) {
        pSysMenu->AppendMenu(MF_STRING, IDM_PREFERENCES, QStringLiteral("Preferences"));
        pSysMenu->AppendMenu(MF_SEPARATOR);
        if (const QString text = platform::LoadStringResource(IDS_CHECKFORUPDATE); !text.isEmpty())
            pSysMenu->AppendMenu(MF_STRING, IDM_CHECKFORUPDATE, text);
        if (const QString text = platform::LoadStringResource(IDS_AUTOUPDATE); !text.isEmpty())
            pSysMenu->AppendMenu(MF_STRING, IDM_AUTOUPDATE, text);
        if (const QString text = platform::LoadStringResource(IDS_ABOUTBOX); !text.isEmpty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    const int filesWidth = m_listFiles->GetClientRect().Width();
    m_listFiles->InsertColumn(0, QStringLiteral("File Name"), LVCFMT_LEFT, filesWidth * 3 / 5);
    m_listFiles->InsertColumn(1, QStringLiteral("Date Modified"), LVCFMT_LEFT, filesWidth / 5);
    m_listFiles->InsertColumn(2, QStringLiteral("File Size"), LVCFMT_LEFT, filesWidth / 5);
    m_listFiles->SetExtendedStyle(LVS_EX_CHECKBOXES);

    const int selectedWidth = m_listSelected->GetClientRect().Width();
    m_listSelected->InsertColumn(0, QStringLiteral("File Name"), LVCFMT_LEFT, selectedWidth / 2);
    m_listSelected->InsertColumn(1, QStringLiteral("Width"), LVCFMT_LEFT, selectedWidth / 4);
    m_listSelected->InsertColumn(2, QStringLiteral("Height"), LVCFMT_LEFT, selectedWidth / 4);

    m_grpSize->m_crText = RGB(0, 0, 255);
    m_grpSize->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    m_grpQuality->m_crText = RGB(0, 0, 255);
    m_grpQuality->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    m_sliderQuality->SetRange(1, 100, FALSE);
    m_sliderPercent->SetRange(1, 100, FALSE);
    m_sliderPercent->SetPos(100);
    m_sliderWidth->SetRange(1, 100, FALSE);
    m_sliderWidth->SetPos(100);
    m_sliderHeight->SetRange(1, 100, FALSE);
    m_sliderHeight->SetPos(100);

    m_lblPercentOptions->SetTextColor(RGB(70, 98, 158)).SetBold(true);
    m_lblDimensionOptions->SetTextColor(RGB(70, 98, 158)).SetBold(true);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
        m_nScreenWidth = pixels.width();
        m_nScreenHeight = pixels.height();
    }

    BuildRootFolders();

    BrimvaleSettings settings;
    const bool opened = LoadSettings(settings);
    takeSettings(settings);
    for (int i = 0; i < m_astrDestinations.size(); ++i) {
        m_comboDestinations->AddString(m_astrDestinations[i]);
        if (i == 0) {
            m_comboDestinations->setEditText(m_strDestination);
            m_comboDestinations->SetCurSel(0);
        }
    }
    if (opened && m_nSizeChoice == kSizeChoiceDimensions) {
        SetDlgItemText(IDC_WIDTH_EDIT, QString::asprintf("%d", m_nCustomWidth));
        SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%d", m_nCustomHeight));
    }
    int qualityId = IDC_QUALITY_75;
    if (opened) {
        qualityId = qualityRadio(m_nQuality);
        m_sliderQuality->SetPos(m_nQuality);
        GetSystemMenu(FALSE)->CheckMenuItem(IDM_AUTOUPDATE, m_bAutoUpdate ? MF_CHECKED : MF_UNCHECKED);
    } else {
        // First run, or no right to the key: defaults, written at the first "Close Brimvale".
        m_nSizeChoice = kSizeChoiceHalf;
        m_nQuality = kDefaultQuality;
        m_bSettingsChanged = true;
        // The slider shows the quality in use, 75, rather than its bottom end.
        m_sliderQuality->SetPos(m_nQuality);
    }

    CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_1024 + m_nSizeChoice);
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_100, qualityId);
    CheckDlgButton(IDC_KEEPASPECT, m_nSizeChoice >= 4 && m_nSizeChoice <= 8 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_PERCENT_EDIT, QString::asprintf("%d", percentOf(m_dCustomScale)));
    SetDlgItemText(IDC_QUALITY_EDIT, QString::asprintf("%d", m_nQuality));
    SetDlgItemText(IDC_SIZE_SCREEN, QString::asprintf("Screen: %u X %u", static_cast<unsigned>(m_nScreenWidth),
                                                      static_cast<unsigned>(m_nScreenHeight)));

    m_lblDestinationCaption->SetTextColor(RGB(255, 0, 0)).SetBold(true).SetPointSize(10);
    m_lblDestination->SetBackground(RGB(254, 235, 155))
        .SetBold(true)
        .SetTextColor(RGB(0, 0, 192))
        .SetPointSize(12)
        .SetText(m_strDestination);

    addToolTips();
    m_bInitializing = false;
    if (!m_astrStartupArguments.isEmpty()) OpenStartupFiles(m_astrStartupArguments);
    // Once the window is open (the first turn of its event loop), never before it shows.
    if (m_bAutoUpdate) QTimer::singleShot(0, this, &CBrimvaleDlg::startUpdateCheck);
    return TRUE;
}

void CBrimvaleDlg::addToolTips() {
    m_wndToolTip.Create(this);
    m_wndToolTip.Activate(TRUE);
    for (const ToolTip& tip : kToolTips) m_wndToolTip.AddTool(GetDlgItem(tip.id), QString::fromLatin1(tip.text));
}

void CBrimvaleDlg::takeSettings(const BrimvaleSettings& s) {
    m_nQuality = s.m_nQuality;
    m_nDefaultQuality = s.m_nDefaultQuality;
    m_nSizeChoice = s.m_nSizeChoice;
    m_nDefaultSizeChoice = s.m_nDefaultSizeChoice;
    m_bLastQualityIsDefault = s.m_bLastQualityIsDefault;
    m_bLastSizeIsDefault = s.m_bLastSizeIsDefault;
    m_dCustomScale = s.m_dCustomScale;
    m_nCustomWidth = s.m_nCustomWidth;
    m_nCustomHeight = s.m_nCustomHeight;
    m_nSaveType = s.m_nSaveType;
    m_bAutoUpdate = s.m_bAutoUpdate;
    m_strDestination = QString::fromStdString(s.m_strDestination);
    m_astrDestinations.clear();
    for (const std::string& folder : s.m_astrDestinations) m_astrDestinations << QString::fromStdString(folder);
    m_bSettingsChanged = m_bSettingsChanged || s.m_bSettingsChanged;
}

BrimvaleSettings CBrimvaleDlg::currentSettings() const {
    BrimvaleSettings s;
    s.m_nQuality = m_nQuality;
    s.m_nDefaultQuality = m_nDefaultQuality;
    s.m_nSizeChoice = m_nSizeChoice;
    s.m_nDefaultSizeChoice = m_nDefaultSizeChoice;
    s.m_bLastQualityIsDefault = m_bLastQualityIsDefault;
    s.m_bLastSizeIsDefault = m_bLastSizeIsDefault;
    s.m_dCustomScale = m_dCustomScale;
    s.m_nCustomWidth = m_nCustomWidth;
    s.m_nCustomHeight = m_nCustomHeight;
    s.m_nSaveType = m_nSaveType;
    s.m_bAutoUpdate = m_bAutoUpdate;
    s.m_bUseSourceFolder = m_bUseSourceFolder;
    s.m_strDestination = m_strDestination.toStdString();
    for (const QString& folder : m_astrDestinations) s.m_astrDestinations.push_back(folder.toStdString());
    s.m_bSettingsChanged = m_bSettingsChanged;
    return s;
}

void CBrimvaleDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    switch (nID) {
    case IDM_ABOUTBOX: {
        CAboutDlg dlgAbout(this);
        dlgAbout.DoModal();
        break;
    }
    case IDM_AUTOUPDATE: {
        CMenu* pSysMenu = GetSystemMenu(FALSE);
        if (pSysMenu->GetMenuState(IDM_AUTOUPDATE, MF_BYCOMMAND) & MF_CHECKED) {
            m_bAutoUpdate = false;
            pSysMenu->CheckMenuItem(IDM_AUTOUPDATE, MF_BYCOMMAND | MF_UNCHECKED);
        } else {
            m_bAutoUpdate = true;
            pSysMenu->CheckMenuItem(IDM_AUTOUPDATE, MF_BYCOMMAND | MF_CHECKED);
        }
        m_bSettingsChanged = true;
        break;
    }
    case IDM_CHECKFORUPDATE: OnCheckForUpdate(); break;
    case IDM_PREFERENCES: OnPreferences(); break;
    default: CDialog::OnSysCommand(nID, lParam); break;
    }
}

void CBrimvaleDlg::OnPaint(QPainter& painter) {
    if (IsIconic()) {
        // Minimised: the icon, centred in the client area.
        painter.fillRect(rect(), palette().color(QPalette::Window));
        const int iconSize = 32; // SM_CXICON, SM_CYICON
        const int x = (width() - iconSize + 1) / 2;
        const int y = (height() - iconSize + 1) / 2;
        m_hIcon.paint(&painter, QRect(x, y, iconSize, iconSize));
        return;
    }
    CDialog::OnPaint(painter);
}

void CBrimvaleDlg::OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct) {
    COLORREF textBackground = RGB(240, 240, 240);
    COLORREF textColour = RGB(0, 0, 255);
    UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    bool ours = true;
    switch (nIDCtl) {
    case IDC_SAVEIMAGES:
        textBackground = RGB(128, 128, 240);
        textColour = RGB(255, 0, 0);
        break;
    case IDC_SETFOLDER:
    case IDC_SHOWFOLDER: break;
    case IDC_IMAGETYPE:
        textBackground = RGB(255, 255, 0);
        format = DT_CENTER;
        break;
    default: ours = false; break;
    }
    if (ours) {
        platform::DrawContext& dc = *lpDrawItemStruct->hDC;
        const RECT rt = lpDrawItemStruct->rcItem;
        dc.Draw3dRect(rt, RGB(255, 255, 255), RGB(0, 0, 0));
        dc.FillSolidRect(rt, RGB(240, 240, 240));
        dc.DrawEdge(rt, (lpDrawItemStruct->itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        dc.SetBkColor(textBackground);
        dc.SetTextColor(textColour);
        const QFont previous = dc.SelectObject(buttonFont(nIDCtl));
        const QString text = platform::windowText(lpDrawItemStruct->hwndItem).left(260);
        dc.DrawText(text, rt, format);
        dc.SelectObject(previous);
    }
    CDialog::OnDrawItem(nIDCtl, lpDrawItemStruct);
}

void CBrimvaleDlg::OnPreferences() {
    if (m_bBusy) return;
    CConfigDlg dlg(this);
    dlg.m_nQuality = m_nDefaultQuality;
    dlg.m_nSizeChoice = m_nDefaultSizeChoice;
    dlg.m_bLastSizeIsDefault = m_bLastSizeIsDefault;
    dlg.m_bLastQualityIsDefault = m_bLastQualityIsDefault;
    dlg.m_bUseSourceFolder = m_bUseSourceFolder;
    dlg.m_bAutoUpdate = m_bAutoUpdate;
    dlg.m_dCustomScale = m_dCustomScale;
    dlg.m_nCustomWidth = m_nCustomWidth;
    dlg.m_nCustomHeight = m_nCustomHeight;
    dlg.m_nSaveType = m_nSaveType;
    if (dlg.DoModal() != IDOK) return;

    m_bAutoUpdate = dlg.m_bAutoUpdate;
    m_bLastSizeIsDefault = dlg.m_bLastSizeIsDefault;
    m_bLastQualityIsDefault = dlg.m_bLastQualityIsDefault;
    m_bUseSourceFolder = dlg.m_bUseSourceFolder;
    m_nDefaultSizeChoice = dlg.m_nSizeChoice;
    if (m_nDefaultSizeChoice == kSizeChoiceDimensions) {
        m_nCustomWidth = dlg.m_nCustomWidth;
        m_nCustomHeight = dlg.m_nCustomHeight;
        SetDlgItemText(IDC_WIDTH_EDIT, QString::asprintf("%d", m_nCustomWidth));
        SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%d", m_nCustomHeight));
    }
    m_dCustomScale = dlg.m_dCustomScale;
    m_nDefaultQuality = dlg.m_nQuality;
    m_nQuality = dlg.m_nQuality;
    m_nSizeChoice = m_nDefaultSizeChoice;
    m_nSaveType = dlg.m_nSaveType;
    m_bSettingsChanged = true;

    CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_1024 + m_nSizeChoice);
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET, qualityRadio(m_nQuality, IDC_QUALITY_SET));
    CheckDlgButton(IDC_KEEPASPECT, BST_UNCHECKED);

    // Every control that shows a value now in force shows it, so a save does what is shown.
    m_sliderQuality->SetPos(m_nQuality);
    SetDlgItemText(IDC_QUALITY_EDIT, QString::asprintf("%d", m_nQuality));
    if (m_nSizeChoice == kSizeChoiceCustomPercent) {
        SetDlgItemText(IDC_PERCENT_EDIT, QString::asprintf("%d", percentOf(m_dCustomScale)));
        m_sliderPercent->SetPos(percentOf(m_dCustomScale));
    }
    CheckDlgButton(IDC_USESOURCEFOLDER, m_bUseSourceFolder ? BST_CHECKED : BST_UNCHECKED);
    GetSystemMenu(FALSE)->CheckMenuItem(IDM_AUTOUPDATE, MF_BYCOMMAND | (m_bAutoUpdate ? MF_CHECKED : MF_UNCHECKED));
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnCheckForUpdate() {
    if (m_bBusy) return;
    const net::CurrentProgram program = net::currentProgram();
    const std::string base = net::updateBaseUrl();
    net::UpdateRequest request;
    request.fileUrl = net::versionFileUrl(base, program.fileName);
    net::UpdateResult result;
    {
        WaitCursor wait; // while the site is asked, not while the answer is read
        result = net::fetchUpdate(request);
    }
    net::presentUpdate(result, program, request.fileUrl, net::downloadPageUrl(base), /*offerOnly=*/false);
}

void CBrimvaleDlg::startUpdateCheck() {
    if (m_pStartupCheck || !isVisible()) return;
    auto check = std::make_unique<StartupUpdateCheck>();
    check->program = net::currentProgram();
    const std::string base = net::updateBaseUrl();
    check->fileUrl = net::versionFileUrl(base, check->program.fileName);
    check->pageUrl = net::downloadPageUrl(base);
    // The result travels to this thread as a queued call. The fetch thread is joined before
    // the window is destroyed, so `this` is alive when the call is queued, and Qt drops a
    // queued call whose receiver is gone.
    check->fetch = std::make_unique<net::BackgroundUpdateCheck>(
        net::UpdateRequest{check->fileUrl}, [this](const net::UpdateResult& result) {
            QMetaObject::invokeMethod(
                this,
                [this, result] {
                    if (!m_pStartupCheck) return; // the window closed meanwhile
                    const std::unique_ptr<StartupUpdateCheck> done = std::move(m_pStartupCheck);
                    done->fetch.reset();
                    net::presentUpdate(result, done->program, done->fileUrl, done->pageUrl, /*offerOnly=*/true);
                },
                Qt::QueuedConnection);
        });
    m_pStartupCheck = std::move(check);
}

void CBrimvaleDlg::writeVersionFileOnce() {
    if (m_bVersionFileWritten) return;
    WriteVersionFile();
    m_bVersionFileWritten = true;
}

void CBrimvaleDlg::OnOK() {
    if (m_bSettingsChanged) {
        BrimvaleSettings settings = currentSettings();
        SaveSettings(settings, GetDlgItemText(IDC_WIDTH_EDIT).toStdString(),
                     GetDlgItemText(IDC_HEIGHT_EDIT).toStdString());
        takeSettings(settings); // the history now starts with the current destination
    }
    writeVersionFileOnce();
    CDialog::OnOK();
}

void CBrimvaleDlg::OnCancel() {
    writeVersionFileOnce();
    CDialog::OnCancel();
}

void CBrimvaleDlg::OnDestroy() {
    // A start-up check still waiting ends here, at once.
    m_pStartupCheck.reset();
    writeVersionFileOnce();
    CDialog::OnDestroy();
}
