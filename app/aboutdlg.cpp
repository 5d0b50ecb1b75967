// SPDX-License-Identifier: MIT
// The About box.
#include "app/aboutdlg.h"

#include "controls/label.h"
#include "platform/files.h"
#include "platform/versioninfo.h"
#include "platform/widgets/resources.h"
#include "res/resource.h"

#include <vector>

QString FormatVersionLine(const char* path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return QStringLiteral("Brimvale (version unknown)");
    std::vector<std::uint8_t> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path, handle, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &length) || length < sizeof *info)
        return QStringLiteral("Brimvale (version unknown)");
    return QString::asprintf("Brimvale %u.%u.%u.%u", info->dwFileVersionMS >> 16, info->dwFileVersionMS & 0xFFFF,
                             info->dwFileVersionLS >> 16, info->dwFileVersionLS & 0xFFFF);
}

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT_VERSION, m_lblVersion);
    DDX_Control(pDX, IDC_ABOUT_COPYRIGHT, m_lblCopyright);
    DDX_Control(pDX, IDC_ABOUT_ADDRESS, m_lblAddress);
    DDX_Control(pDX, IDC_ABOUT_EMAIL, m_lblEmail);
    DDX_Control(pDX, IDC_ABOUT_WEBSITE, m_lblWebsite);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const QString copyright = platform::LoadStringResource(IDS_COPYRIGHT);
    const QString address = platform::LoadStringResource(IDS_ADDRESS);

    m_lblAddress->SetText(address)
        .SetBackground(RGB(192, 0, 0), RGB(0, 128, 128), CLabel::BackGradient)
        .SetTextColor(RGB(255, 255, 255))
        .SetBold(true);
    m_lblCopyright->SetText(copyright).SetBackground(RGB(244, 176, 4)).SetBold(true).SetTextColor(RGB(0, 0, 128));

    char path[260] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    m_lblVersion->SetText(FormatVersionLine(path)).SetPointSize(20).SetBold(true).SetTextColor(RGB(244, 176, 4));

    const QCursor hand = LoadCursorA(nullptr, IDC_HAND);
    m_lblEmail->SetMailLink(true, false).SetLinkCursor(hand).SetTextColor(RGB(0, 0, 255)).SetUnderline(true);
    m_lblWebsite->SetWebLink(true, false)
        .SetLinkTarget(QString::fromLatin1(kMakerWebAddress))
        .SetTextColor(RGB(0, 0, 255))
        .SetUnderline(true)
        .SetLinkCursor(hand);
    return TRUE;
}
