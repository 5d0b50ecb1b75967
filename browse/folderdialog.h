// SPDX-License-Identifier: MIT
// CFolderDialog: the folder browser of template 157. A tree of the user's folders and the
// drives, read as it is expanded; a field that shows the selected folder's path and takes a
// typed or pasted one; "Make New Folder" with in-place renaming; resizable.
#pragma once

#include "platform/widgets/dialog.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class CStatic;
class CTreeCtrl;
class QLineEdit;
class QResizeEvent;
class QTreeWidgetItem;

class CFolderDialog : public CDialog {
    Q_OBJECT
public:
    /// A browser that opens on `initialFolder` (empty: on the first folder of the tree).
    CFolderDialog(const QString& initialFolder, QWidget* parent);
    ~CFolderDialog() override;

    /// DoModal (inherited) gives IDOK with the chosen folder in m_szFolderPath, IDCANCEL,
    /// or -1 when the dialog was closed on text that names no folder.
    QString m_szInitialFolder;
    QString m_szFolderPath;
    /// With the status-text flag, the line above the tree names the selected folder;
    /// without it that line is hidden and the tree takes its room. Read when the dialog opens.
    bool m_bStatusText = false;

    /// Replaces the sound made when typed text names no folder (null: the desktop's beep).
    /// Returns the previous hook.
    using BeepHook = std::function<void()>;
    static BeepHook SetBeepHook(BeepHook hook);

    /// The folder a text in the field names: absolute, "~" for the home folder, a file://
    /// address, or relative to `selectedFolder`; cleaned of "." and ".." steps and repeated
    /// '/'. Empty when the text is relative and nothing is selected.
    static QString ResolveTypedFolder(const QString& typed, const QString& selectedFolder);

protected:
    /// Runs once the tree is filled, before the dialog shows: selects m_szInitialFolder.
    virtual void OnInitialized();
    /// Runs when the tree's selection changes, with the selected folder (empty for none);
    /// shows it in the status line when the status-text flag is set.
    virtual void OnSelChanged(const QString& folder);
    /// Runs when OK is pressed on text that names no folder. Nonzero keeps the dialog open;
    /// zero closes it with -1. The base beeps and returns 1.
    virtual int OnValidateFailed(const QString& typed);

    /// Selects a folder, or its nearest existing parent, reading and expanding the tree
    /// down to it. False when no folder of the path exists.
    bool SetSelection(const QString& folder);
    void SetStatusText(const QString& text);
    /// The selected folder's path, or empty.
    QString GetSelectedFolder() const;

    BOOL OnInitDialog() override;
    void OnOK() override;
    const platform::MessageMap* GetMessageMap() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnMakeNewFolder();

    void addTopFolders();
    QString pathOf(const QTreeWidgetItem* item) const;
    void readChildren(QTreeWidgetItem* item);
    QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, const QString& name) const;
    QTreeWidgetItem* insertChildSorted(QTreeWidgetItem* parent, const QString& name);
    QTreeWidgetItem* makeFolderItem(const QString& name) const;
    static int sortedIndex(const QTreeWidgetItem* parent, const QString& name);
    void onCurrentItemChanged(QTreeWidgetItem* item);
    void onItemChanged(QTreeWidgetItem* item);
    void sortIntoPlace(QTreeWidgetItem* item);
    void beep();

    // Where a control goes when the dialog is resized: its template rectangle, moved by the
    // growth times moveX/moveY and widened by it times growX/growY (each 0 or 1).
    struct Anchor {
        QWidget* control;
        QRect rect;
        int moveX, moveY, growX, growY;
    };
    std::vector<Anchor> m_aAnchors;
    QSize m_sizeInitial;

    CTreeCtrl* m_treeFolders = nullptr;
    QLineEdit* m_pEdit = nullptr;
    CStatic* m_pStatus = nullptr;
    QTreeWidgetItem* m_pRenamed = nullptr; // renamed, to be moved to its sorted place
    std::string m_strRenameError;           // why a rename was refused, told when the editor closes
};
