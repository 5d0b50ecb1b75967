// SPDX-License-Identifier: MIT
// CBrimvaleDlg: the main window. It sets up the controls of template 102, loads the
// settings when it opens and writes them when "Close Brimvale" closes it after a change,
// carries the window menu, and paints its four owner-drawn buttons.
#pragma once

#include "app/sizerule.h"
#include "browse/foldertree.h"
#include "browse/saveengine.h"
#include "imaging/isimageex.h"
#include "platform/widgets/commctrl.h"
#include "platform/widgets/dialog.h"
#include "platform/widgets/tooltip.h"

#include <QIcon>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class BusyScope;
class CComboBox;
class CPreviewPane;
class CSelectedPicture;
class CGroupCtrlEx;
class CLabel;
class CListCtrl;
class QProgressBar;
class CSliderCtrl;
class CTreeCtrl;
struct BrimvaleSettings;
struct StartupUpdateCheck;

/// The message the file list posts to the window after a tick changed; LPARAM is the row.
inline constexpr UINT WM_CHECKBOXCHANGED = 201;

class CBrimvaleDlg : public CDialog {
    Q_OBJECT
public:
    explicit CBrimvaleDlg(QWidget* parent = nullptr);
    ~CBrimvaleDlg() override;

    // ---- What the window shows, for its callers and tests --------------------------------
    /// The output size of a picture for the size radio checked now, with the applied code.
    TargetSize ComputeTargetSize(std::uint32_t width, std::uint32_t height) const;
    /// Rebuilds the summary line above the selected pictures.
    void UpdateStatusSummary();
    /// Empties the selection ("Clear List").
    void ClearSelection();
    /// Lists the pictures of a folder in the (emptied) file list; with markSelected, rows
    /// whose name is a selected picture's name are ticked. Returns the rows added.
    int FillFileList(const QString& folder, bool markSelected);
    /// The index of the selected picture with this path, or -1.
    int FindSelectedPicture(const QString& path) const;
    /// Draws one picture, fitted, into the preview pane.
    /// False when the picture cannot be read: the pane then says so, and the sizes are 0.
    bool ShowPreview(const QString& path);
    /// Draws every selected picture into the preview pane as a grid.
    void ShowMontage();
    /// Files or a folder to open with (as the command line hands them over): read when the
    /// window opens.
    void SetStartupArguments(const QStringList& arguments) { m_astrStartupArguments = arguments; }
    /// Lists the folder of the first existing argument and ticks the pictures given in it;
    /// the status line names what was left out.
    void OpenStartupFiles(const QStringList& arguments);
    /// The full path of a folder tree item.
    QString GetItemPath(HTREEITEM item) const;
    /// False when the destination is missing and could not be created (the run is then not
    /// started); a missing folder the user chose not to create lets the run start.
    bool CheckDestination();
    /// Creates every missing folder of the destination; false (after saying which) on failure.
    bool CreateDestination();

    const std::vector<RootFolder>& rootFolders() const { return m_aRootFolders; }
    const std::vector<std::unique_ptr<CSelectedPicture>>& selectedPictures() const { return m_aSelectedPictures; }
    std::int32_t selectedCount() const { return m_nSelectedPictures; }
    QString currentFolder() const { return m_strCurrentFolder; }
    QString currentPicture() const { return m_strCurrentPicture; }
    std::uint32_t pictureWidth() const { return m_nPictureWidth; }
    std::uint32_t pictureHeight() const { return m_nPictureHeight; }
    RECT previewImageRect() const { return m_rcPreviewImage; }
    bool montage() const { return m_bMontage; }
    std::int32_t saveType() const { return m_nSaveType; }
    std::int32_t quality() const { return m_nQuality; }
    std::int32_t sizeChoice() const { return m_nSizeChoice; }
    double customScale() const { return m_dCustomScale; }
    bool keepAspect() const { return m_bKeepAspect; }
    bool settingsChanged() const { return m_bSettingsChanged; }
    QString destination() const { return m_strDestination; }
    QStringList destinations() const { return m_astrDestinations; }
    bool useSourceFolder() const { return m_bUseSourceFolder; }
    std::uint64_t savedBytes() const { return m_nSavedBytes; }
    /// True while "Save Images" runs.
    bool saving() const { return m_pRunBusy != nullptr; }
    /// The cropped section at full resolution (empty before a crop).
    const CISImageEx& cropImage() const { return m_imgCrop; }
    /// The run's progress bar (null before the first run; hidden outside runs).
    QProgressBar* saveProgress() const { return m_progressSave; }
    /// True while the update check started at opening waits for the site.
    bool updateCheckWaiting() const { return m_pStartupCheck != nullptr; }
    /// The name of the last saved crop, whose row the file list highlights.
    void setSavedCropName(const QString& name) { m_strSavedCropName = name; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnPaint(QPainter& painter) override;
    void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    const platform::MessageMap* GetMessageMap() const override;

    // ---- Window menu (brimvaledlg.cpp) -------------------------------------------------------
    /// The settings dialog; after OK the window takes over all of its values.
    void OnPreferences();
    /// The update check on this thread, the window blocked meanwhile.
    void OnCheckForUpdate();

    // ---- Folder tree (brimvaledlg_browse.cpp) ----------------------------------------------
    void BuildRootFolders();
    /// Reads the folder structure below a path into the tree; true when the window was
    /// asked to close meanwhile.
    bool AddSubfolders(const QString& path, HTREEITEM parent);
    void OnClickFolderTree(NMHDR* header, LRESULT* result);
    void OnDblClkFolderTree(NMHDR* header, LRESULT* result);
    void OnRootFolderCommand(UINT id);

    // ---- File list and selection (brimvaledlg_browse.cpp) ---------------------------------
    void OnClickFileList(NMHDR* header, LRESULT* result);
    void OnKeyDownFileList(NMHDR* header, LRESULT* result);
    LRESULT OnCheckBoxChanged(WPARAM wParam, LPARAM lParam);
    void OnRClickFileList(NMHDR* header, LRESULT* result);
    void OnSelectAll();
    void OnClearAllSelections();
    void OnCustomDrawFileList(NMHDR* header, LRESULT* result);
    void OnClearList();

    // ---- Size, quality and output type (brimvaledlg_size.cpp) -----------------------------
    void OnSizeRadio(UINT id);
    void OnKeepAspect();
    void OnChangePercent();
    void OnChangeDimension();
    void OnVScroll(UINT code, UINT position, QWidget* bar);
    void OnHScroll(UINT code, UINT position, QWidget* bar);
    void OnQualityRadio(UINT id);
    void OnImageType();

    // ---- Cropping (brimvaledlg_crop.cpp) ----------------------------------------------------
    void OnClickPreview();
    void OnSaveCrop();

    // ---- Destination folders and the batch save (brimvaledlg_save.cpp) ---------------------
    void OnSetFolder();
    void OnDestinationSelChange();
    void OnDestinationEditChange();
    void OnUseSourceFolder();
    void OnShowFolder();
    void OnSaveImages();
    /// Saves selected picture `index` with the run's options; false (after its message) when
    /// it could not be saved.
    bool SavePicture(int index);

private:
    void takeSettings(const BrimvaleSettings& settings);
    void appendSelectedRow(const CSelectedPicture& picture);
    BrimvaleSettings currentSettings() const;
    SizeRequest sizeRequest() const;
    SaveOptions currentSaveOptions() const;
    void showSaveProgress(int done, int total);
    void addToolTips();
    /// Starts the update check at start-up on a thread of its own; only a newer version is
    /// spoken of, on this thread, while the window is open.
    void startUpdateCheck();
    void writeVersionFileOnce();

    QIcon m_hIcon;
    CTreeCtrl* m_treeFolders = nullptr;
    CListCtrl* m_listFiles = nullptr;
    CListCtrl* m_listSelected = nullptr;
    CPreviewPane* m_wndPreview = nullptr;
    CLabel* m_lblStatus = nullptr;
    std::int32_t m_nCustomWidth = 0;
    std::int32_t m_nCustomHeight = 0;
    CGroupCtrlEx* m_grpQuality = nullptr;
    CGroupCtrlEx* m_grpSize = nullptr;
    CComboBox* m_comboDestinations = nullptr;
    CLabel* m_lblFiles = nullptr;
    CLabel* m_lblFolders = nullptr;
    CSliderCtrl* m_sliderWidth = nullptr;
    CSliderCtrl* m_sliderHeight = nullptr;
    std::int32_t m_nDefaultSizeChoice = 0;
    std::int32_t m_nDefaultQuality = 0;
    bool m_bLastSizeIsDefault = true;
    bool m_bLastQualityIsDefault = true;
    std::int32_t m_nQuality = 0;
    std::int32_t m_nSizeChoice = 0;
    double m_dCustomScale = 1.0;
    CToolTipCtrl m_wndToolTip;
    QString m_strDestination;
    CLabel* m_lblSelected = nullptr;
    bool m_bSettingsChanged = false;
    bool m_bAutoUpdate = false;
    bool m_bUseSourceFolder = false;
    CSliderCtrl* m_sliderQuality = nullptr;
    CSliderCtrl* m_sliderPercent = nullptr;
    CLabel* m_lblPreview = nullptr;
    CLabel* m_lblDestination = nullptr;
    CLabel* m_lblDestinationCaption = nullptr;
    QStringList m_astrDestinations; // most recent first
    bool m_bKeepAspect = true;
    std::int32_t m_nScreenWidth = 0;
    std::int32_t m_nScreenHeight = 0;
    CLabel* m_lblPercentOptions = nullptr;
    CLabel* m_lblDimensionOptions = nullptr;
    std::int32_t m_nSaveType = 0;
    bool m_bVersionFileWritten = false;
    std::unique_ptr<StartupUpdateCheck> m_pStartupCheck; // while the start-up check waits

    // Folder tree.
    std::vector<RootFolder> m_aRootFolders;
    std::int32_t m_nRootFolders = 0;
    QString m_strCurrentFolder;
    // File list and selection.
    std::vector<std::unique_ptr<CSelectedPicture>> m_aSelectedPictures;
    std::int32_t m_nSelectedPictures = 0;
    QString m_strSavedCropName;
    QString m_strLastClickedPath; // the file clicked last, by full path
    QStringList m_astrStartupArguments;
    std::unique_ptr<CMenu> m_fileMenu;
    // Preview.
    QString m_strCurrentPicture;
    std::uint32_t m_nPictureWidth = 0;
    std::uint32_t m_nPictureHeight = 0;
    RECT m_rcPreviewImage;
    bool m_bMontage = false;
    CISImageEx m_imgCrop;
    // Batch save.
    std::uint64_t m_nSavedBytes = 0;
    SaveOptions m_runOptions;
    BusyScope* m_pRunBusy = nullptr; // while a run lasts
    QProgressBar* m_progressSave = nullptr;
    // Handlers do nothing while OnInitDialog fills the controls; long work refuses new work.
    bool m_bInitializing = false;
    bool m_bBusy = false;
};
