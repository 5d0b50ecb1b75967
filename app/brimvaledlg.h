// SPDX-License-Identifier: MIT
// CBrimvaleDlg: the main window. It sets up the controls of template 102, loads the
// settings when it opens and writes them when "Close Brimvale" closes it after a change,
// carries the window menu, and paints its four owner-drawn buttons.
#pragma once

#include "platform/widgets/dialog.h"
#include "platform/widgets/tooltip.h"

#include <QIcon>
#include <QStringList>

#include <cstdint>

class CComboBox;
class CGroupCtrlEx;
class CLabel;
class CListCtrl;
class CSliderCtrl;
class CStatic;
class CTreeCtrl;
struct BrimvaleSettings;

class CBrimvaleDlg : public CDialog {
    Q_OBJECT
public:
    explicit CBrimvaleDlg(QWidget* parent = nullptr);
    ~CBrimvaleDlg() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnPaint(QPainter& painter) override;
    void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    void OnOK() override;
    const platform::MessageMap* GetMessageMap() const override;

private:
    void takeSettings(const BrimvaleSettings& settings);
    BrimvaleSettings currentSettings() const;
    void addToolTips();

    QIcon m_hIcon;
    CTreeCtrl* m_treeFolders = nullptr;
    CListCtrl* m_listFiles = nullptr;
    CListCtrl* m_listSelected = nullptr;
    CStatic* m_wndPreview = nullptr;
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
};
