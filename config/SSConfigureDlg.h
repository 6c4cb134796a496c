#pragma once
#include "config/SaverListItem.h"
#include "config/ScreenSaverListCtrl.h"
#include "res/resource.h"
#include "settings/PathList.h"
#include "settings/SaverHealthRecord.h"
#include "ui/CAxDialogImpl.h"

#include <map>
#include <memory>
#include <vector>

class SSSettings;

// Where a dialog of the given size goes: centred on the reference rectangle, then moved
// inside the work area where it would stick out (left and top edges win).
POINT CenteredDialogPosition(const RECT& rcDialog, const RECT& rcReference,
                             const RECT& rcWork) noexcept;

// The configuration dialog: which savers take part, how often they change, whether the
// desktop shows between them; Settings and Preview try the selected saver. OK stores the
// choices through the settings object, Cancel stores nothing.
class SSConfigureDlg : public CAxDialogImpl<SSConfigureDlg> {
public:
    enum { IDD = IDD_CONFIGURE };

    // Works on the process's settings (GetSettings), reached at initialisation.
    SSConfigureDlg() noexcept = default;
    // Works on the given settings object instead, which must outlive the dialog.
    explicit SSConfigureDlg(SSSettings& settings) noexcept
        : m_pSettings(&settings)
    {
    }

    BEGIN_MSG_MAP(SSConfigureDlg)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        COMMAND_HANDLER(IDC_CYCLE_EVERY, BN_CLICKED, OnCycleOption)
        COMMAND_HANDLER(IDC_CYCLE_ONCE, BN_CLICKED, OnCycleOption)
        COMMAND_HANDLER(IDOK, BN_CLICKED, OnOK)
        COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
        COMMAND_HANDLER(IDC_SETTINGS, BN_CLICKED, OnSettings)
        COMMAND_HANDLER(IDC_PREVIEW, BN_CLICKED, OnPreview)
        NOTIFY_HANDLER(IDC_SAVER_LIST, LVN_ITEMCHANGED, OnListItemChanged)
    END_MSG_MAP()

    // One row per saver found in the settings' folders, ticked when selected, and a ticked
    // row per selected saver that cannot be seen now.
    void FillSaverList();
    // Rows in ascending order of display name, case-insensitive.
    void SortSaverList() noexcept;
    // The saver paths of the ticked rows, in row order.
    PathList CollectCheckedSaverPaths() const;
    // The record of the one selected row; nullptr with no row or several selected.
    const SaverListItem* GetSelectedSaverItem() const noexcept;
    // Settings and Preview are enabled exactly while one row is selected.
    LRESULT UpdateTryButtons() noexcept;
    // The line under the list: what run mode found wrong with the one selected saver, or
    // that it cannot be seen now.
    void UpdateSaverDetails();

    // How many row records the dialog holds (they go at WM_DESTROY).
    size_t GetRecordCount() const noexcept { return m_items.size(); }

private:
    SSSettings& Settings() const;
    void CenterDialog() noexcept;
    // Starts the selected saver with the switch text after its path and waits for it;
    // false when it could not be started.
    bool TrySelectedSaver(const AnsiString& switches);
    // The Status column of every row from run mode's records, "Not found" for a saver that
    // cannot be seen now.
    void ShowSaverHealth();

    LRESULT OnInitDialog(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) noexcept;
    LRESULT OnCycleOption(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled) noexcept;
    LRESULT OnOK(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnCancel(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled) noexcept;
    LRESULT OnSettings(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnPreview(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled);
    LRESULT OnListItemChanged(int idCtrl, LPNMHDR pnmh, BOOL& bHandled);

    ScreenSaverListCtrl m_list;
    // The records behind the rows; the rows' item data only borrow them.
    std::vector<std::unique_ptr<SaverListItem>> m_items;
    SSSettings* m_pSettings = nullptr;
    // Run mode's records of the listed savers that have something to report.
    std::map<const SaverListItem*, SaverHealthRecord> m_health;
    // The rows of stored savers that cannot be seen now (their drive or folder away), with
    // each one's path exactly as stored, which OK stores again.
    std::map<const SaverListItem*, AnsiString> m_away;
    // Savers tried with Preview: OK clears their records, so they are shown again.
    PathList m_retried;
    // While the list is being filled, row notifications only note that one came.
    bool m_bFilling = false;
    bool m_bChangedWhileFilling = false;
};
