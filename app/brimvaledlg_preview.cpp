// SPDX-License-Identifier: MIT
// The main window's preview pane: one picture fitted into the pane, or every selected
// picture as a montage. Pictures are read from disk each time; nothing is cached.
#include "app/brimvaledlg.h"

#include "platform/services.h"
#include "preview/layout.h"
#include "preview/previewpane.h"
#include "preview/selectedpicture.h"

namespace {
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBoxFilter = 0;
} // namespace

bool CBrimvaleDlg::ShowPreview(const QString& path) {
    CDC* dc = m_wndPreview->GetDC();
    const int paneWidth = dc->GetWidth(), paneHeight = dc->GetHeight();
    const std::string file = path.toStdString();

    CISImageEx image;
    PreviewPlacement place;
    ImageSize full;
    // A JPEG may be decoded at a reduced scale that still covers the size it is shown at.
    std::uint32_t rc = image.ReadForDisplay(
        file, ReadTypeFor(file),
        [&](ImageSize size) {
            place = FitPreview(size.cx, size.cy, paneWidth, paneHeight);
            return ImageSize{static_cast<std::uint32_t>(place.width), static_cast<std::uint32_t>(place.height)};
        },
        &full);
    if (rc == kImageOk && place.width > 0 && place.height > 0)
        rc = image.ResizeInPlace({static_cast<std::uint32_t>(place.width), static_cast<std::uint32_t>(place.height)},
                                 kBoxFilter);
    dc->Fill(kWhite);
    if (rc != kImageOk || place.width <= 0 || place.height <= 0) {
        // Never the previous picture: the pane says what happened.
        m_nPictureWidth = m_nPictureHeight = 0;
        m_rcPreviewImage = RECT{};
        m_wndPreview->DrawCentredText(QStringLiteral("Unable to read the image"));
        m_wndPreview->ReleaseDC();
        UpdateStatusSummary();
        return false;
    }
    m_nPictureWidth = full.cx;
    m_nPictureHeight = full.cy;
    image.Draw(dc, ImagePoint{place.x, place.y});
    m_rcPreviewImage = RECT{place.x, place.y, place.x + place.width, place.y + place.height};
    m_wndPreview->ReleaseDC();
    UpdateStatusSummary();
    return true;
}

void CBrimvaleDlg::ShowMontage() {
    const int count = static_cast<int>(m_aSelectedPictures.size());
    if (count < 1) return;
    CDC* dc = m_wndPreview->GetDC();
    // The first picture that could be read sets the proportions of every cell.
    double aspect = 0.0;
    for (const auto& picture : m_aSelectedPictures) {
        if (picture->m_nWidth > 0 && picture->m_nHeight > 0) {
            aspect = static_cast<double>(picture->m_nWidth) / static_cast<double>(picture->m_nHeight);
            break;
        }
    }
    const MontageGrid grid = aspect > 0 ? ComputeMontageGrid(count, aspect, dc->GetWidth(), dc->GetHeight())
                                        : MontageGrid{};
    const ImageSize cell{static_cast<std::uint32_t>(grid.cellWidth), static_cast<std::uint32_t>(grid.cellHeight)};
    dc->Fill(kWhite);
    m_wndPreview->ReleaseDC();
    int x = 0, y = 0, column = 0;
    for (const auto& picture : m_aSelectedPictures) {
        const std::string path = picture->GetPath();
        bool drawn = false;
        if (cell.cx > 0 && cell.cy > 0) {
            CISImageEx image;
            ImageSize full;
            if (image.ReadForDisplay(path, ReadTypeFor(path), [cell](ImageSize) { return cell; }, &full) == kImageOk &&
                image.ResizeInPlace(cell, kBoxFilter) == kImageOk) {
                image.Draw(dc, ImagePoint{x, y});
                m_wndPreview->ReleaseDC();
                drawn = true;
            }
        }
        if (!drawn) AfxMessageBox("Unable to resize image", MB_OK);
        x += grid.cellWidth;
        if (++column >= grid.columns) {
            column = 0;
            x = 0;
            y += grid.cellHeight;
        }
    }
}
