// SPDX-License-Identifier: MIT
// The folder browser: tree, path field, new folders and their renaming, resizing.
#include "browse/folderdialog.h"

#include "browse/foldertree.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/widgets/controls.h"
#include "res/resource.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QResizeEvent>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace {

// A top-level item holds its folder's path; an item below holds its folder's name on disk,
// which differs from its text only while a rename is being committed.
constexpr int kFolderRole = Qt::UserRole;
constexpr int kReadRole = Qt::UserRole + 1;

CFolderDialog::BeepHook g_beepHook;

QString fromPath(const std::string& path) { return QString::fromStdString(path); }
std::string toPath(const QString& path) { return path.toStdString(); }

bool isFolder(const QString& path) {
    const platform::FileStatus status = platform::getFileStatus(toPath(path));
    return status.exists && status.isDirectory;
}

// "/a/b" is inside "/a" and inside "/"; "/ab" is not inside "/a".
bool isWithin(const QString& path, const QString& folder) {
    if (path == folder) return true;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

} // namespace

CFolderDialog::CFolderDialog(const QString& initialFolder, QWidget* parent)
    : CDialog(IDD_FOLDERBROWSER, parent), m_szInitialFolder(initialFolder) {}

CFolderDialog::~CFolderDialog() = default;

CFolderDialog::BeepHook CFolderDialog::SetBeepHook(BeepHook hook) {
    std::swap(g_beepHook, hook);
    return hook;
}

void CFolderDialog::beep() {
    if (g_beepHook) g_beepHook();
    else QApplication::beep();
}

const platform::MessageMap* CFolderDialog::GetMessageMap() const {
    static const auto map = platform::MessageMapOf<CFolderDialog>().on(BN_CLICKED, IDC_FOLDER_NEW,
                                                                       &CFolderDialog::OnMakeNewFolder);
    return &map;
}

QString CFolderDialog::ResolveTypedFolder(const QString& typed, const QString& selectedFolder) {
    // Blanks around a pasted path are not part of it.
    QString text = typed.trimmed();
    if (text.isEmpty()) return selectedFolder;
    if (text.startsWith(QLatin1String("file://"))) text = QUrl(text).toLocalFile();
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/"))) text = QDir::homePath() + text.mid(1);
    if (text.isEmpty()) return {};
    if (!text.startsWith(QLatin1Char('/'))) {
        if (selectedFolder.isEmpty()) return {};
        text = fromPath(JoinPath(toPath(selectedFolder), toPath(text)));
    }
    return QDir::cleanPath(text);
}

BOOL CFolderDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_treeFolders = GetDlgItemAs<CTreeCtrl>(IDC_FOLDER_TREE);
    m_pEdit = GetDlgItemAs<QLineEdit>(IDC_FOLDER_EDIT);
    m_pStatus = GetDlgItemAs<CStatic>(IDC_FOLDER_STATUS);

    if (!m_bStatusText) {
        // No status line: the tree starts where it would have been.
        m_pStatus->hide();
        QRect tree = m_treeFolders->geometry();
        tree.setTop(m_pStatus->geometry().top());
        m_treeFolders->setGeometry(tree);
    }
    m_sizeInitial = size();
    setMinimumSize(m_sizeInitial);
    const struct {
        int id, moveX, moveY, growX, growY;
    } anchors[] = {
        {IDC_FOLDER_STATUS, 0, 0, 1, 0}, {IDC_FOLDER_TREE, 0, 0, 1, 1}, {IDC_FOLDER_CAPTION, 0, 1, 0, 0},
        {IDC_FOLDER_EDIT, 0, 1, 1, 0},   {IDC_FOLDER_NEW, 0, 1, 0, 0},  {IDOK, 1, 1, 0, 0},
        {IDCANCEL, 1, 1, 0, 0},
    };
    for (const auto& a : anchors) {
        QWidget* control = GetDlgItem(a.id);
        m_aAnchors.push_back({control, control->geometry(), a.moveX, a.moveY, a.growX, a.growY});
    }

    // Only folders made or read below the top level can be renamed, with F2 or on creation.
    m_treeFolders->setEditTriggers(QAbstractItemView::EditKeyPressed);
    connect(m_treeFolders, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { readChildren(item); });
    connect(m_treeFolders, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { onCurrentItemChanged(item); });
    connect(m_treeFolders, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { onItemChanged(item); });
    connect(m_treeFolders->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (QTreeWidgetItem* renamed = std::exchange(m_pRenamed, nullptr)) sortIntoPlace(renamed);
        if (!m_strRenameError.empty()) AfxMessageBox(std::exchange(m_strRenameError, {}), MB_OK | MB_ICONERROR);
    });

    addTopFolders();
    m_treeFolders->setCurrentItem(m_treeFolders->topLevelItem(0));
    OnInitialized();

    // The field has the focus with its text selected, so typing replaces the path.
    m_pEdit->setFocus();
    m_pEdit->selectAll();
    return FALSE;
}

void CFolderDialog::addTopFolders() {
    struct Top {
        QString label, path;
        QStyle::StandardPixmap icon;
    };
    std::vector<Top> tops;
    tops.push_back({QStringLiteral("Home"), QDir::homePath(), QStyle::SP_DirHomeIcon});
    const std::pair<platform::KnownFolder, const char*> known[] = {{platform::KnownFolder::Pictures, "Pictures"},
                                                                   {platform::KnownFolder::Documents, "Documents"},
                                                                   {platform::KnownFolder::Desktop, "Desktop"}};
    for (const auto& [folder, label] : known) {
        const platform::KnownFolderPath found = platform::knownFolderPath(folder);
        if (!found.ok()) continue;
        const QString path = fromPath(found.path);
        // Desktop set to the home folder, say, is listed once.
        if (std::any_of(tops.begin(), tops.end(), [&](const Top& t) { return t.path == path; })) continue;
        tops.push_back({QString::fromLatin1(label), path, QStyle::SP_DirIcon});
    }
    for (const platform::DriveRoot& drive : platform::driveRoots())
        tops.push_back({fromPath(drive.root), fromPath(drive.root), QStyle::SP_DriveHDIcon});

    for (const Top& top : tops) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, top.label);
        item->setToolTip(0, top.path);
        item->setIcon(0, style()->standardIcon(top.icon));
        item->setData(0, kFolderRole, top.path);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_treeFolders->addTopLevelItem(item);
    }
}

QString CFolderDialog::pathOf(const QTreeWidgetItem* item) const {
    if (!item) return {};
    const QString folder = item->data(0, kFolderRole).toString();
    if (!item->parent()) return folder;
    return fromPath(JoinPath(toPath(pathOf(item->parent())), toPath(folder)));
}

QString CFolderDialog::GetSelectedFolder() const { return pathOf(m_treeFolders->currentItem()); }

void CFolderDialog::readChildren(QTreeWidgetItem* item) {
    if (item->data(0, kReadRole).toBool()) return;
    item->setData(0, kReadRole, true);
    const platform::DirListing listing = platform::listDirectory(toPath(pathOf(item)));
    QList<QTreeWidgetItem*> children;
    for (const platform::DirEntry& entry : listing.entries) {
        // Dot-folders (and "." and "..") are the ones a file manager hides too.
        if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
        children.push_back(makeFolderItem(fromPath(entry.name)));
    }
    item->addChildren(children);
    if (children.isEmpty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* CFolderDialog::childNamed(QTreeWidgetItem* parent, const QString& name) const {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->data(0, kFolderRole).toString() == name) return parent->child(i);
    }
    return nullptr;
}

QTreeWidgetItem* CFolderDialog::insertChildSorted(QTreeWidgetItem* parent, const QString& name) {
    QTreeWidgetItem* child = makeFolderItem(name);
    parent->insertChild(sortedIndex(parent, name), child);
    parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return child;
}

// Its children read on first expansion, an item shows an expander until then.
QTreeWidgetItem* CFolderDialog::makeFolderItem(const QString& name) const {
    auto* item = new QTreeWidgetItem;
    item->setText(0, name);
    item->setData(0, kFolderRole, name);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

// Where a name goes among the children, in the order folder listings give.
int CFolderDialog::sortedIndex(const QTreeWidgetItem* parent, const QString& name) {
    const std::string key = toPath(name);
    int at = 0;
    while (at < parent->childCount() &&
           platform::ntfsNameLess(toPath(parent->child(at)->data(0, kFolderRole).toString()), key))
        ++at;
    return at;
}

void CFolderDialog::OnInitialized() {
    if (!m_szInitialFolder.isEmpty()) SetSelection(m_szInitialFolder);
}

bool CFolderDialog::SetSelection(const QString& folder) {
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    while (!isFolder(path)) {
        if (path == QLatin1String("/")) return false;
        path = QDir::cleanPath(path + QLatin1String("/.."));
    }
    // Start from the top item that holds the most of the path: a folder inside the
    // pictures folder is reached through "Pictures", not through "/".
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < m_treeFolders->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_treeFolders->topLevelItem(i);
        const QString topPath = pathOf(top);
        if (isWithin(path, topPath) && (!item || topPath.size() > pathOf(item).size())) item = top;
    }
    if (!item) return false;
    for (const QString& name : path.mid(pathOf(item).size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        readChildren(item);
        QTreeWidgetItem* child = childNamed(item, name);
        // A folder the tree leaves out (a dot-folder) is shown when it is asked for.
        if (!child) child = insertChildSorted(item, name);
        item->setExpanded(true);
        item = child;
    }
    m_treeFolders->setCurrentItem(item);
    m_treeFolders->scrollToItem(item);
    return true;
}

void CFolderDialog::onCurrentItemChanged(QTreeWidgetItem* item) {
    const QString folder = pathOf(item);
    m_pEdit->setText(folder);
    OnSelChanged(folder);
}

void CFolderDialog::OnSelChanged(const QString& folder) {
    if (m_bStatusText) SetStatusText(folder);
}

void CFolderDialog::SetStatusText(const QString& text) { m_pStatus->SetWindowText(text); }

int CFolderDialog::OnValidateFailed(const QString& /*typed*/) {
    beep();
    return 1;
}

void CFolderDialog::OnOK() {
    const QString typed = m_pEdit->text();
    const QString selected = GetSelectedFolder();
    // The selected folder's own text stays as it is ("/mnt/data/" keeps its '/').
    const QString folder = typed == selected ? selected : ResolveTypedFolder(typed, selected);
    if (!folder.isEmpty() && isFolder(folder)) {
        m_szFolderPath = folder;
        EndDialog(IDOK);
        return;
    }
    if (OnValidateFailed(typed)) return;
    m_szFolderPath.clear();
    EndDialog(-1);
}

void CFolderDialog::OnMakeNewFolder() {
    QTreeWidgetItem* parent = m_treeFolders->currentItem();
    if (!parent) {
        beep();
        return;
    }
    const std::string folder = toPath(pathOf(parent));
    QString name;
    for (int n = 1;; ++n) {
        name = n == 1 ? QStringLiteral("New Folder") : QStringLiteral("New Folder (%1)").arg(n);
        const DWORD error = platform::createDirectory(JoinPath(folder, toPath(name)));
        if (error == ERROR_SUCCESS) break;
        if (error != ERROR_ALREADY_EXISTS) {
            AfxMessageBox("Unable to create a new folder in " + folder + ".", MB_OK | MB_ICONERROR);
            return;
        }
    }
    readChildren(parent);
    QTreeWidgetItem* child = childNamed(parent, name);
    if (!child) child = insertChildSorted(parent, name);
    parent->setExpanded(true);
    m_treeFolders->setCurrentItem(child);
    m_treeFolders->scrollToItem(child);
    m_treeFolders->setFocus();
    m_treeFolders->editItem(child);
}

void CFolderDialog::onItemChanged(QTreeWidgetItem* item) {
    // Only an edited label differs from the name on disk; every other change is ours.
    if (!item->parent()) return;
    const QString oldName = item->data(0, kFolderRole).toString();
    const QString newName = item->text(0);
    if (newName == oldName) return;
    if (newName.trimmed().isEmpty()) {
        item->setText(0, oldName);
        return;
    }
    const std::string folder = toPath(pathOf(item->parent()));
    std::string why;
    if (newName.contains(QLatin1Char('/')) || newName == QLatin1String(".") || newName == QLatin1String("..")) {
        why = "A folder name cannot be \".\" or \"..\" or contain \"/\".";
    } else {
        const std::string from = JoinPath(folder, toPath(oldName)), to = JoinPath(folder, toPath(newName));
        // Never over another folder: a plain rename would replace an empty one silently.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            why = errno == EEXIST ? "Something named \"" + toPath(newName) + "\" is already there."
                                  : std::string(std::strerror(errno)) + ".";
        }
    }
    if (!why.empty()) {
        item->setText(0, oldName);
        // Told once the editor has closed: a message box taking the focus from an open
        // editor would make it commit the refused name again.
        m_strRenameError = "Unable to rename \"" + toPath(oldName) + "\" in " + folder + ". " + why;
        return;
    }
    item->setData(0, kFolderRole, newName);
    if (item == m_treeFolders->currentItem()) onCurrentItemChanged(item);
    // Moving the row while its editor is still committing would take the editor away
    // mid-commit: the row moves to its place once the tree has closed the editor.
    m_pRenamed = item;
}

void CFolderDialog::sortIntoPlace(QTreeWidgetItem* item) {
    QTreeWidgetItem* parent = item->parent();
    if (!parent) return;
    const bool current = item == m_treeFolders->currentItem();
    const bool expanded = item->isExpanded();
    parent->takeChild(parent->indexOfChild(item));
    parent->insertChild(sortedIndex(parent, item->data(0, kFolderRole).toString()), item);
    item->setExpanded(expanded);
    if (current) m_treeFolders->setCurrentItem(item);
}

void CFolderDialog::resizeEvent(QResizeEvent* event) {
    CDialog::resizeEvent(event);
    if (m_aAnchors.empty()) return;
    const int dx = width() - m_sizeInitial.width(), dy = height() - m_sizeInitial.height();
    for (const Anchor& a : m_aAnchors) {
        a.control->setGeometry(a.rect.x() + dx * a.moveX, a.rect.y() + dy * a.moveY, a.rect.width() + dx * a.growX,
                               a.rect.height() + dy * a.growY);
    }
}
