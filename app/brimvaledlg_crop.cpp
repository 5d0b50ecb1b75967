// SPDX-License-Identifier: MIT
// The main window's cropping: a rubber band dragged over the preview cuts that section out
// of the picture at full resolution and shows it; a plain click switches between the picture
// and the montage; "Save Crop" saves the section through the save-cropped-image dialog,
// stamped with the source's description, author, copyright and the time.
#include "app/brimvaledlg.h"

#include "app/savecropdlg.h"
#include "controls/label.h"
#include "imaging/is5.h"
#include "imaging/metadata.h"
#include "platform/services.h"
#include "platform/widgets/gdi.h"
#include "platform/widgets/recttracker.h"
#include "preview/croprules.h"
#include "preview/layout.h"
#include "preview/previewpane.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"

#include <ctime>
#include <sys/stat.h>

namespace {

// The crop outcome a second save may use: false until OK, then what the dialog chose; they
// last for the run, like the other choices that are not stored.
bool g_bCropUseSourceFolder = false;
bool g_bCropAppendCropped = true;

constexpr std::uint32_t kBicubic = 17;

QString fileNameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// True when both paths name one file (the same device and inode).
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

void CBrimvaleDlg::OnClickPreview() {
    if (m_bBusy || m_bInitializing) return;
    const QPoint press = m_wndPreview->lastPress();
    const RECT client = m_wndPreview->GetClientRect();
    CRectTracker tracker(client, CRectTracker::solidLine);
    const QPoint inset = m_wndPreview->clientGeometry().topLeft();
    if (!tracker.TrackRubberBand(m_wndPreview, press + inset, TRUE)) {
        if (tracker.m_bCancelled) return; // Escape: no change
        m_bMontage = !m_bMontage;
        if (m_bMontage) ShowMontage();
        else ShowPreview(m_strCurrentPicture);
        return;
    }

    // The band in the surface's pixels, the units the picture was placed in.
    const QPoint a = m_wndPreview->toSurface(QPoint(tracker.m_rect.left, tracker.m_rect.top) - inset);
    const QPoint b = m_wndPreview->toSurface(QPoint(tracker.m_rect.right, tracker.m_rect.bottom) - inset);
    const PaneRect band{a.x(), a.y(), b.x(), b.y()};
    const PaneRect placement{m_rcPreviewImage.left, m_rcPreviewImage.top, m_rcPreviewImage.right,
                             m_rcPreviewImage.bottom};
    // A band that leaves the picture is ignored.
    if (!MapCropToPicture(band, placement, 0, 0)) return;

    // Every crop starts again from the file, read as the preview read it (upright).
    const std::string path = m_strCurrentPicture.toStdString();
    CISImageEx picture;
    if (picture.Read(path, ReadTypeFor(path)) != kImageOk) {
        m_lblStatus->SetTextColor(RGB(255, 0, 0))
            .SetText(fileNameOf(m_strCurrentPicture) + QStringLiteral(": Unable to read the image"));
        return;
    }
    const CropEdges edges = *MapCropToPicture(band, placement, picture.width, picture.height);
    picture.Crop(static_cast<std::int32_t>(edges.x0), static_cast<std::int32_t>(edges.y0),
                 static_cast<std::int32_t>(edges.x1), static_cast<std::int32_t>(edges.y1));
    m_imgCrop.CopyFrom(picture);

    // The section fitted into the pane, never stretched; the picture's placement stays.
    CDC* dc = m_wndPreview->GetDC();
    const PreviewPlacement fit = FitCroppedSection(picture.width, picture.height, dc->GetWidth(), dc->GetHeight());
    dc->Fill(0xFFFFFF);
    if (fit.width > 0 && fit.height > 0 &&
        picture.ResizeInPlace({static_cast<std::uint32_t>(fit.width), static_cast<std::uint32_t>(fit.height)},
                              kBicubic) == kImageOk)
        picture.Draw(dc, ImagePoint{fit.x, fit.y});
    m_wndPreview->ReleaseDC();

    m_lblStatus->SetTextColor(platform::GetSysColor(COLOR_WINDOWTEXT))
        .SetText(QString::asprintf("%d x %d cropped section of %s", static_cast<int>(edges.x1 - edges.x0),
                                   static_cast<int>(edges.y1 - edges.y0),
                                   qUtf8Printable(fileNameOf(m_strCurrentPicture))));
    EnableWindow(IDC_SAVECROP, TRUE);
}

void CBrimvaleDlg::OnSaveCrop() {
    if (m_bBusy || m_bInitializing) return;
    const QString source = m_strCurrentPicture;
    const int slash = source.lastIndexOf(QLatin1Char('/'));
    const QString name = source.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));

    CSaveCropDlg dialog(this);
    dialog.m_strDestFolder = m_strDestination;
    dialog.m_strSourceFolder = source.left(slash + 1);
    dialog.m_bUseSourceFolder = g_bCropUseSourceFolder;
    dialog.m_nQuality = m_nQuality;
    dialog.m_nWidth = static_cast<std::int32_t>(m_imgCrop.width);
    dialog.m_nHeight = static_cast<std::int32_t>(m_imgCrop.height);
    dialog.m_nSizeChoice = m_nSizeChoice;
    dialog.m_strFileName = dot < 0 ? name : name.left(dot);
    dialog.m_bAppendCropped = g_bCropAppendCropped;
    dialog.m_nTypeRadio = CropTypeRadioForExtension(dot < 0 ? std::string() : name.mid(dot).toStdString());
    if (dialog.DoModal() != IDOK) return;
    g_bCropUseSourceFolder = dialog.m_bUseSourceFolder;
    g_bCropAppendCropped = dialog.m_bAppendCropped;

    // The section keeps its full resolution: the save resizes a copy.
    CISImageEx copy;
    if (copy.Resize(m_imgCrop, static_cast<std::uint32_t>(std::max(0, dialog.m_nWidth)),
                    static_cast<std::uint32_t>(std::max(0, dialog.m_nHeight)), kBicubic) != kImageOk) {
        AfxMessageBox("Unable to resize image");
        return;
    }
    copy.jpegQuality = dialog.m_nQuality >= 1 && dialog.m_nQuality <= 100 ? dialog.m_nQuality : 75;

    const std::string ext = dialog.m_strExt.toStdString();
    const std::string output =
        CropOutputPath(dialog.m_strDestFolder.toStdString(), dialog.m_strFileName.toStdString(),
                       dialog.m_bAppendCropped, ext);
    if (platform::getFileStatus(output).exists) {
        if (sameFile(output, source.toStdString())) {
            AfxMessageBox(output + " is the picture being cropped; it is not replaced. Choose another name or folder.");
            return;
        }
        if (AfxMessageBox(output + " already exists. Do you wish to overwrite the existing image with the cropped image?",
                          MB_YESNO) != IDYES)
            return;
    }
    if (const std::uint32_t rc = copy.Write(dialog.m_nType, output); rc != kImageOk) {
        AfxMessageBox("Unable to write " + output + ": " + is5_ErrorText(rc));
        return;
    }

    if (dialog.m_nType == 0 || dialog.m_nType == 6) {
        PictureMetadata record;
        if (const std::string message = ReadPictureMetadata(source.toStdString(), record); !message.empty())
            AfxMessageBox(message);
        record.description += " cropped section";
        if (const StampResult stamp = StampPictureMetadata(record, output, std::time(nullptr)); !stamp.message.empty())
            AfxMessageBox(stamp.message);
    }

    m_lblSelected->SetText(QStringLiteral("The cropped image below has been saved as: ") + QString::fromStdString(output));
    m_strSavedCropName = dialog.m_strFileName + (dialog.m_bAppendCropped ? QStringLiteral("_Cropped.") : QStringLiteral(".")) +
                         dialog.m_strExt;
    if (dialog.m_bUseSourceFolder) FillFileList(m_strCurrentFolder, true);
}
