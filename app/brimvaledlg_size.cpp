// SPDX-License-Identifier: MIT
// The main window's size, quality and output-type controls, the output size of a picture
// for the checked size radio, and the summary line above the selected pictures.
#include "app/brimvaledlg.h"

#include "app/imgtypedlg.h"
#include "controls/label.h"
#include "platform/widgets/controls.h"
#include "res/resource.h"

#include <cmath>
#include <cstdint>

namespace {

// The check of "Keep Aspect Ratio" each size radio sets: on for the percent and dimension
// choices, off for the boxes and the screen.
bool keepsAspect(std::int32_t code) { return code >= 4 && code <= 8; }

constexpr std::int32_t kQualities[] = {25, 50, 75, 90, 100};

int qualityRadioFor(std::uint32_t quality) {
    for (int i = 0; i < 5; ++i)
        if (static_cast<std::uint32_t>(kQualities[i]) == quality) return IDC_QUALITY_25 + i;
    return IDC_QUALITY_SET;
}

std::string text(const QString& s) { return s.toStdString(); }

} // namespace

SizeRequest CBrimvaleDlg::sizeRequest() const {
    SizeRequest request;
    const int checked = GetCheckedRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN);
    request.choice = checked ? checked - IDC_SIZE_1024 : kSizeChoiceNone;
    request.customScale = m_dCustomScale;
    request.widthText = text(GetDlgItemText(IDC_WIDTH_EDIT));
    request.heightText = text(GetDlgItemText(IDC_HEIGHT_EDIT));
    request.screenWidth = m_nScreenWidth;
    request.screenHeight = m_nScreenHeight;
    return request;
}

TargetSize CBrimvaleDlg::ComputeTargetSize(std::uint32_t width, std::uint32_t height) const {
    SizeRequest request = sizeRequest();
    request.pictureWidth = width;
    request.pictureHeight = height;
    return ::ComputeTargetSize(request);
}

void CBrimvaleDlg::UpdateStatusSummary() {
    SummaryRequest request;
    const int size = GetCheckedRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN);
    request.sizeChoice = size ? size - IDC_SIZE_1024 : kSizeChoiceNone;
    request.pictureWidth = m_nPictureWidth;
    request.pictureHeight = m_nPictureHeight;
    request.percentText = text(GetDlgItemText(IDC_PERCENT_EDIT));
    request.widthText = text(GetDlgItemText(IDC_WIDTH_EDIT));
    request.heightText = text(GetDlgItemText(IDC_HEIGHT_EDIT));
    request.screenWidth = m_nScreenWidth;
    request.screenHeight = m_nScreenHeight;
    const int quality = GetCheckedRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET);
    request.qualityRadio = quality ? quality - IDC_QUALITY_25 : kQualityRadioNone;
    request.qualityText = text(GetDlgItemText(IDC_QUALITY_EDIT));
    request.saveType = m_nSaveType;
    request.selectedCount = m_nSelectedPictures;
    const SummaryLine line = BuildStatusSummary(request);
    m_lblSelected->SetTextColor(RGB(line.red, line.green, line.blue))
        .SetBold(line.bold)
        .SetText(QString::fromStdString(line.text));
}

void CBrimvaleDlg::OnSizeRadio(UINT id) {
    if (m_bInitializing || m_bBusy) return;
    const std::int32_t code = static_cast<std::int32_t>(id) - IDC_SIZE_1024;
    m_nSizeChoice = code;
    CheckDlgButton(IDC_KEEPASPECT, keepsAspect(code) ? BST_CHECKED : BST_UNCHECKED);
    if (id == IDC_SIZE_PERCENT) {
        SetDlgItemText(IDC_PERCENT_EDIT, QStringLiteral("50"));
        m_dCustomScale = 0.5;
        m_sliderPercent->SetPos(50);
        m_bSettingsChanged = true;
    } else if (id == IDC_SIZE_DIMENSIONS) {
        SetDlgItemText(IDC_WIDTH_EDIT, QString::asprintf("%u", m_nPictureWidth));
        SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%u", m_nPictureHeight));
    }
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnKeepAspect() { m_bKeepAspect = IsDlgButtonChecked(IDC_KEEPASPECT) == BST_CHECKED; }

void CBrimvaleDlg::OnChangePercent() {
    if (m_bInitializing) return;
    const std::int32_t percent = ScanInt(text(GetDlgItemText(IDC_PERCENT_EDIT))).value_or(100);
    m_dCustomScale = percent / 100.0;
    UpdateStatusSummary();
    m_bSettingsChanged = true;
}

void CBrimvaleDlg::OnChangeDimension() {
    if (m_bInitializing) return;
    CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_DIMENSIONS);
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnVScroll(UINT code, UINT position, QWidget* bar) {
    if (m_bInitializing) return;
    m_bKeepAspect = IsDlgButtonChecked(IDC_KEEPASPECT) == BST_CHECKED;
    if (code == SB_THUMBPOSITION) {
        const std::uint64_t w = m_nPictureWidth, h = m_nPictureHeight;
        // Before any picture is shown both sizes are 0, and so is what the sliders give.
        const bool sized = w != 0 && h != 0;
        const double ratio = sized ? static_cast<double>(h) / static_cast<double>(w) : 0.0;
        switch (platform::GetDlgCtrlID(bar)) {
        case IDC_PERCENT_SLIDER:
            SetDlgItemText(IDC_PERCENT_EDIT, QString::asprintf("%u", position));
            m_dCustomScale = position / 100.0;
            m_nSizeChoice = kSizeChoiceCustomPercent;
            SetDlgItemText(IDC_WIDTH_EDIT, QString::asprintf("%d", static_cast<int>(TruncateToUnsigned(w * m_dCustomScale))));
            SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%d", static_cast<int>(TruncateToUnsigned(h * m_dCustomScale))));
            CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_PERCENT);
            break;
        case IDC_WIDTH_SLIDER: {
            CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_DIMENSIONS);
            m_nSizeChoice = kSizeChoiceDimensions;
            const auto width = static_cast<std::uint32_t>(w * position / 100);
            SetDlgItemText(IDC_WIDTH_EDIT, QString::asprintf("%u", width));
            if (m_bKeepAspect) {
                SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%u", TruncateToUnsigned(width * ratio)));
                m_sliderHeight->SetPos(static_cast<int>(position));
            }
            break;
        }
        case IDC_HEIGHT_SLIDER: {
            CheckRadioButton(IDC_SIZE_1024, IDC_SIZE_SCREEN, IDC_SIZE_DIMENSIONS);
            m_nSizeChoice = kSizeChoiceDimensions;
            const auto height = static_cast<std::uint32_t>(h * position / 100);
            SetDlgItemText(IDC_HEIGHT_EDIT, QString::asprintf("%u", height));
            if (m_bKeepAspect) {
                SetDlgItemText(IDC_WIDTH_EDIT,
                               QString::asprintf("%u", sized ? TruncateToUnsigned(height / ratio) : 0u));
                m_sliderWidth->SetPos(static_cast<int>(position));
            }
            break;
        }
        default: break;
        }
    }
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnHScroll(UINT code, UINT position, QWidget* bar) {
    if (m_bInitializing || code != SB_THUMBPOSITION || platform::GetDlgCtrlID(bar) != IDC_QUALITY_SLIDER) return;
    SetDlgItemText(IDC_QUALITY_EDIT, QString::asprintf("%u", position));
    m_nQuality = static_cast<std::int32_t>(position);
    CheckRadioButton(IDC_QUALITY_25, IDC_QUALITY_SET, qualityRadioFor(position));
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnQualityRadio(UINT id) {
    if (m_bInitializing) return;
    m_nQuality = kQualities[id - IDC_QUALITY_25];
    m_sliderQuality->SetPos(m_nQuality);
    SetDlgItemText(IDC_QUALITY_EDIT, QString::asprintf("%d", m_nQuality));
    m_bSettingsChanged = true;
    UpdateStatusSummary();
}

void CBrimvaleDlg::OnImageType() {
    if (m_bBusy) return;
    CImgTypeDlg dialog(this);
    dialog.m_nType = m_nSaveType;
    if (dialog.DoModal() == IDOK) m_nSaveType = dialog.m_nType;
    UpdateStatusSummary();
}
