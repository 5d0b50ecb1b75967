// SPDX-License-Identifier: MIT
// The main window's folder tree and file list: top-level folders, reading a folder
// structure, listing a folder's pictures, previewing a clicked picture, and the selection
// of pictures to save (ticks, "Select All", "Clear All Selections", "Clear List").
#include "app/brimvaledlg.h"

#include "browse/classify.h"
#include "browse/formatsize.h"
#include "browse/startfiles.h"
#include "controls/label.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/widgets/busy.h"
#include "platform/widgets/controls.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"

#include <QDir>

#include <ctime>

namespace {

constexpr COLORREF kReadingColour = RGB(192, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kRed = RGB(255, 0, 0);
const char* const kFoldersCaption = "Folders on Selected Drive(s)";

QString fromPath(const std::string& path) { return QString::fromStdString(path); }

// "Jan 05, 11 - 03:04:05 PM" in local time; empty when the time cannot be converted.
QString dateText(const platform::FileTime& time) {
    const std::time_t t = time.toTimeT();
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%b %d, %y - %I:%M:%S %p", &local);
    return QString::fromLatin1(text, static_cast<int>(n));
}

QString countText(const char* format, int n) { return QString::asprintf(format, n); }

} // namespace

// ---- Folder tree ------------------------------------------------------------------------------

void CBrimvaleDlg::BuildRootFolders() {
    m_aRootFolders = BuildRootFolderTable(platform::driveRoots(), platform::knownFolderPath);
    m_nRootFolders = static_cast<std::int32_t>(m_aRootFolders.size());
    for (const RootFolder& root : m_aRootFolders) m_treeFolders->InsertItem(fromPath(root.strLabel), TVI_ROOT, TVI_LAST);
}

QString CBrimvaleDlg::GetItemPath(HTREEITEM item) const {
    std::vector<std::string> texts;
    for (HTREEITEM i = item; i; i = m_treeFolders->GetParentItem(i))
        texts.push_back(m_treeFolders->GetItemText(i).toStdString());
    return fromPath(ItemPathFromTexts(texts, m_aRootFolders));
}

bool CBrimvaleDlg::AddSubfolders(const QString& path, HTREEITEM parent) {
    // The window repaints between folders; clicks and keys meanwhile are dropped.
    BusyScope busy(this);
    m_bBusy = true;
    WalkSubfolders(
        path.toStdString(), parent,
        [this](FolderToken into, const std::string& name) -> FolderToken {
            return m_treeFolders->InsertItem(fromPath(name), static_cast<HTREEITEM>(into), TVI_LAST);
        },
        [&busy] { busy.pump(); });
    m_bBusy = false;
    return busy.closeRequested();
}

void CBrimvaleDlg::OnClickFolderTree(NMHDR* /*header*/, LRESULT* result) {
    *result = 0;
    if (m_bBusy) return;
    POINT point = platform::GetMessagePos();
    m_treeFolders->ScreenToClient(&point);
    HTREEITEM item = m_treeFolders->HitTest(point);
    if (!item) return; // the empty area below the items: nothing changes
    m_treeFolders->SelectItem(item);
    m_strCurrentFolder = GetItemPath(item);
    m_listFiles->DeleteAllItems();
    const int count = FillFileList(m_strCurrentFolder, false);
    m_lblFiles->SetText(QString::asprintf("%s (%d Files)", qUtf8Printable(m_strCurrentFolder), count));
}

void CBrimvaleDlg::OnDblClkFolderTree(NMHDR* /*header*/, LRESULT* result) {
    *result = 0;
    if (m_bBusy) return;
    POINT point = platform::GetMessagePos();
    m_treeFolders->ScreenToClient(&point);
    HTREEITEM item = m_treeFolders->HitTest(point);
    // A structure is read once, and only for a top-level item: a folder named "Pictures"
    // deeper down is just a folder.
    if (!item || m_treeFolders->ItemHasChildren(item) || m_treeFolders->GetParentItem(item)) return;
    const QString text = m_treeFolders->GetItemText(item);
    const RootFolder* root = nullptr;
    for (const RootFolder& entry : m_aRootFolders) {
        if (fromPath(entry.strLabel) == text) {
            root = &entry;
            break;
        }
    }
    if (!root) return;

    m_lblFolders->SetTextColor(kReadingColour).SetText(QStringLiteral("Reading Folders on ") + text);
    const bool closeRequested = AddSubfolders(fromPath(root->strPath), item);
    m_lblFolders->SetText(QString::fromLatin1(kFoldersCaption)).SetTextColor(kNavy);
    // The tree's own double-click then expands the item.
    if (closeRequested) OnSysCommand(SC_CLOSE, 0);
}

void CBrimvaleDlg::OnRootFolderCommand(UINT id) {
    if (m_bBusy) return;
    const RootFolder* root = nullptr;
    for (const RootFolder& entry : m_aRootFolders) {
        if (entry.nCommandId == static_cast<std::int32_t>(id)) {
            root = &entry;
            break;
        }
    }
    if (!root) return;
    const QString label = fromPath(root->strLabel);
    for (HTREEITEM item = m_treeFolders->GetRootItem(); item; item = m_treeFolders->GetNextSiblingItem(item))
        if (m_treeFolders->GetItemText(item) == label) return;

    HTREEITEM item = m_treeFolders->InsertItem(
        root->nType == kRootFolderSpecial ? label + QString::fromLatin1(kVirtualSuffix) : label, TVI_ROOT, TVI_LAST);
    const bool closeRequested = AddSubfolders(fromPath(root->strPath), item);
    m_treeFolders->Expand(item, TVE_EXPAND);
    if (closeRequested) OnSysCommand(SC_CLOSE, 0);
}

// ---- File list ----------------------------------------------------------------------------------

int CBrimvaleDlg::FillFileList(const QString& folder, bool markSelected) {
    const platform::DirListing listing = platform::listDirectory(folder.toStdString());
    if (!listing.ok()) return 0;
    int rows = 0;
    int cropRow = -1;
    for (const platform::DirEntry& entry : listing.entries) {
        if (entry.isDirectory || ClassifyExtension(entry.name) == 0) continue;
        const QString name = fromPath(entry.name);
        const int row = m_listFiles->InsertItem(rows, name);
        m_listFiles->SetItemText(row, 1, dateText(entry.creationTime));
        m_listFiles->SetItemText(row, 2, fromPath(FormatSize(entry.size)));
        if (markSelected) {
            for (const auto& picture : m_aSelectedPictures) {
                if (picture->GetName() == entry.name) {
                    m_listFiles->SetCheck(row, TRUE);
                    break;
                }
            }
        }
        if (!m_strSavedCropName.isEmpty() && name == m_strSavedCropName && cropRow < 0) cropRow = row;
        ++rows;
    }
    // The saved crop's row is brought into view once, when the list is filled.
    if (cropRow >= 0) m_listFiles->EnsureVisible(cropRow, FALSE);
    return rows;
}

void CBrimvaleDlg::appendSelectedRow(const CSelectedPicture& picture) {
    const int at = m_listSelected->GetItemCount();
    m_listSelected->InsertItem(at, fromPath(picture.GetName()));
    m_listSelected->SetItemText(at, 1, QString::asprintf("%d", picture.m_nWidth));
    m_listSelected->SetItemText(at, 2, QString::asprintf("%d", picture.m_nHeight));
}

int CBrimvaleDlg::FindSelectedPicture(const QString& path) const {
    const std::string wanted = path.toStdString();
    for (std::size_t i = 0; i < m_aSelectedPictures.size(); ++i)
        if (m_aSelectedPictures[i]->GetPath() == wanted) return static_cast<int>(i);
    return -1;
}

void CBrimvaleDlg::OnClickFileList(NMHDR* header, LRESULT* result) {
    *result = 0;
    if (m_bBusy) return;
    const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    if (click->iItem < 0) return; // below the last row: nothing changes
    const QString name = m_listFiles->GetItemText(click->iItem, 0);

    POINT point = platform::GetMessagePos();
    m_listFiles->ScreenToClient(&point);
    UINT flags = 0;
    const int hit = m_listFiles->HitTest(point, &flags);
    if (flags & LVHT_ONITEMSTATEICON) PostMessage(WM_CHECKBOXCHANGED, 0, hit);

    // The full path decides: a picture of the same name in another folder is another picture.
    const QString path = fromPath(JoinPath(m_strCurrentFolder.toStdString(), name.toStdString()));
    if (path != m_strLastClickedPath) {
        m_strCurrentPicture = path;
        const bool shown = ShowPreview(m_strCurrentPicture);
        m_lblPreview->SetText(QStringLiteral("Viewing:"));
        if (!shown) {
            m_lblStatus->SetText(name + QStringLiteral(": Unable to read the image"));
        } else if (const platform::FileStatus status = platform::getFileStatus(path.toStdString()); status.exists) {
            m_lblStatus->SetText(QString::asprintf("%s: %u W x %u H, %s", qUtf8Printable(name), m_nPictureWidth,
                                                   m_nPictureHeight, FormatSize(status.size).c_str()));
        }
        m_imgCrop.Clear();
        EnableWindow(IDC_SAVECROP, FALSE);
    }
    m_strLastClickedPath = path;
    m_bMontage = false;
}

void CBrimvaleDlg::OnKeyDownFileList(NMHDR* header, LRESULT* result) {
    *result = 0;
    // Space ticks or unticks the focused row; the list acts first, the message follows.
    if (reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey != VK_SPACE) return;
    if (const int row = m_listFiles->GetFocusedRow(); row >= 0) PostMessage(WM_CHECKBOXCHANGED, 0, row);
}

LRESULT CBrimvaleDlg::OnCheckBoxChanged(WPARAM /*wParam*/, LPARAM lParam) {
    const int row = static_cast<int>(lParam);
    if (row < 0 || row >= m_listFiles->GetItemCount()) return 0;
    const QString name = m_listFiles->GetItemText(row, 0);
    const QString path = fromPath(JoinPath(m_strCurrentFolder.toStdString(), name.toStdString()));
    const int index = FindSelectedPicture(path);
    if (m_listFiles->GetCheck(row)) {
        if (index == -1) {
            auto picture = std::make_unique<CSelectedPicture>(path.toStdString());
            appendSelectedRow(*picture);
            m_aSelectedPictures.push_back(std::move(picture));
        }
    } else if (index >= 0) {
        // The record's own row: rows follow the records' order.
        m_aSelectedPictures.erase(m_aSelectedPictures.begin() + index);
        m_listSelected->DeleteItem(index);
    }
    m_nSelectedPictures = static_cast<std::int32_t>(m_aSelectedPictures.size());
    UpdateStatusSummary();
    return 0;
}

void CBrimvaleDlg::OnRClickFileList(NMHDR* /*header*/, LRESULT* result) {
    *result = 0;
    if (m_bBusy) return;
    const POINT screen = platform::GetMessagePos();
    POINT point = screen;
    m_listFiles->ScreenToClient(&point);
    const int hit = m_listFiles->HitTest(point);
    m_listFiles->SetItemState(hit, LVIS_SELECTED, LVIS_SELECTED);
    m_fileMenu = std::make_unique<CMenu>();
    if (!m_fileMenu->LoadMenu(IDR_FILEMENU)) return;
    if (CMenu* popup = m_fileMenu->GetSubMenu(0)) popup->TrackPopupMenu(TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

void CBrimvaleDlg::OnSelectAll() {
    if (m_bBusy) return;
    m_lblSelected->SetTextColor(kRed).SetBold(true).SetText(QStringLiteral("Selecting Files"));
    const std::string folder = m_strCurrentFolder.toStdString();
    bool closeRequested = false;
    {
        BusyScope busy(this);
        m_bBusy = true;
        for (int row = 0; row < m_listFiles->GetItemCount(); ++row) {
            m_lblSelected->SetText(countText("Selecting Files: %d", row + 1));
            busy.pump();
            const std::string path = JoinPath(folder, m_listFiles->GetItemText(row, 0).toStdString());
            if (FindSelectedPicture(fromPath(path)) != -1) continue;
            m_listFiles->SetCheck(row, TRUE);
            auto picture = std::make_unique<CSelectedPicture>(path);
            appendSelectedRow(*picture);
            m_aSelectedPictures.push_back(std::move(picture));
        }
        m_bBusy = false;
        closeRequested = busy.closeRequested();
    }
    m_nSelectedPictures = static_cast<std::int32_t>(m_aSelectedPictures.size());
    UpdateStatusSummary();
    if (closeRequested) OnSysCommand(SC_CLOSE, 0);
}

void CBrimvaleDlg::OnClearAllSelections() {
    if (m_bBusy) return;
    m_lblSelected->SetTextColor(kRed).SetBold(true).SetText(QStringLiteral("Clearing Selection"));
    const std::string folder = m_strCurrentFolder.toStdString();
    for (int row = 0; row < m_listFiles->GetItemCount(); ++row) {
        const int index =
            FindSelectedPicture(fromPath(JoinPath(folder, m_listFiles->GetItemText(row, 0).toStdString())));
        if (index < 0) continue;
        m_listFiles->SetCheck(row, FALSE);
        m_aSelectedPictures.erase(m_aSelectedPictures.begin() + index);
    }
    // Pictures chosen in other folders stay.
    m_listSelected->DeleteAllItems();
    for (const auto& picture : m_aSelectedPictures) {
        appendSelectedRow(*picture);
    }
    m_nSelectedPictures = static_cast<std::int32_t>(m_aSelectedPictures.size());
    UpdateStatusSummary();
}

void CBrimvaleDlg::ClearSelection() {
    m_listSelected->DeleteAllItems();
    m_aSelectedPictures.clear();
    m_nSelectedPictures = 0;
    m_lblSelected->SetText(QStringLiteral("No pictures are currently selected."));
    for (int row = 0; row < m_listFiles->GetItemCount(); ++row)
        if (m_listFiles->GetCheck(row)) m_listFiles->SetCheck(row, FALSE);
}

void CBrimvaleDlg::OnClearList() {
    if (m_bBusy) return;
    ClearSelection();
}

void CBrimvaleDlg::OnCustomDrawFileList(NMHDR* header, LRESULT* result) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    *result = CDRF_DODEFAULT;
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT: *result = CDRF_NOTIFYITEMDRAW; break;
    case CDDS_ITEMPREPAINT: *result = CDRF_NOTIFYSUBITEMDRAW; break;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        if (!m_strSavedCropName.isEmpty() && m_listFiles->GetItemText(draw->dwItemSpec, 0) == m_strSavedCropName) {
            draw->clrText = RGB(255, 255, 0);
            draw->clrTextBk = RGB(0, 0, 192);
            *result = CDRF_NEWFONT;
        }
        break;
    default: break;
    }
}

void CBrimvaleDlg::OpenStartupFiles(const QStringList& arguments) {
    std::vector<std::string> list;
    for (const QString& argument : arguments) list.push_back(argument.toStdString());
    const StartupFiles plan = PlanStartupFiles(list, QDir::currentPath().toStdString());
    if (!plan.folder.empty()) {
        m_strCurrentFolder = fromPath(plan.folder);
        m_listFiles->DeleteAllItems();
        const int count = FillFileList(m_strCurrentFolder, false);
        m_lblFiles->SetText(QString::asprintf("%s (%d Files)", qUtf8Printable(m_strCurrentFolder), count));
        for (const std::string& name : plan.names) {
            for (int row = 0; row < m_listFiles->GetItemCount(); ++row) {
                if (m_listFiles->GetItemText(row, 0) != fromPath(name)) continue;
                m_listFiles->SetCheck(row, TRUE);
                OnCheckBoxChanged(0, row);
                break;
            }
        }
    }
    if (!plan.leftOut.empty()) {
        QStringList names;
        for (const std::string& name : plan.leftOut) names << fromPath(name);
        m_lblStatus->SetTextColor(kRed).SetText(
            QStringLiteral("Not opened (not a picture in %1): %2")
                .arg(plan.folder.empty() ? QStringLiteral("any folder") : m_strCurrentFolder, names.join(QStringLiteral(", "))));
    }
}
