// SPDX-License-Identifier: MIT
// CAboutDlg: the About box, with the program's version read from its own version record,
// the maker's copyright line and address, and mail and web links.
#pragma once

#include "platform/widgets/dialog.h"

class CLabel;

/// The web address the About box's site link opens.
inline constexpr char kMakerWebAddress[] = "http://www.kestrelby.example/Kestrelby";

/// "Brimvale %u.%u.%u.%u" with the file version of the executable at `path`, or
/// "Brimvale (version unknown)" when the file has no readable version record.
QString FormatVersionLine(const char* path);

class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    CLabel* m_lblVersion = nullptr;   // 1027
    CLabel* m_lblCopyright = nullptr; // 1028
    CLabel* m_lblAddress = nullptr;   // 1029
    CLabel* m_lblEmail = nullptr;     // 1031
    CLabel* m_lblWebsite = nullptr;   // 1030
};
