#include "config/SSConfigureDlg.h"

#include "config/ListCtrlWrapper.h"
#include "config/SaverHealthText.h"
#include "config/SaverSelectionMatch.h"
#include "saver/ChildSaver.h"
#include "saver/SaverCommandLine.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"
#include "settings/SaverHealth.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

const char kNameColumn[] = "Name";
const char kStatusColumn[] = "Status";
const int kStatusSubItem = 1;
const char kMessageCaption[] = "Quillmix";
const char kZeroDelayMessage[] = "ERROR:  Please enter a delay of at least one minute.";
// The delay box holds four digits, so no delay above this can be typed.
const DWORD kMaxShuffleDelay = 9999;
const WPARAM kDelayTextLimit = 4;
// The choices of the monitor list, in the order of their MonitorMode numbers.
const char* const kMonitorModeTexts[] = {
    "One saver over all monitors",
    "A different saver on each monitor",
    "The same saver on each monitor",
};

// Names in the order the user reads them: the user's locale, without case, as lstrcmpiA
// compares ANSI names, but over every character.
int CALLBACK CompareSaverNames(LPARAM lParam1, LPARAM lParam2, LPARAM) noexcept
{
    const auto* a = reinterpret_cast<const SaverListItem*>(lParam1);
    const auto* b = reinterpret_cast<const SaverListItem*>(lParam2);
    const int nOrder = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                                        a != nullptr ? a->m_strName.c_str() : L"", -1,
                                        b != nullptr ? b->m_strName.c_str() : L"", -1);
    // 0 is a failure (bad flags or locale), not an order: such names count as equal.
    return nOrder == 0 ? 0 : nOrder - CSTR_EQUAL;
}

// Stops a window's redrawing while it lives, then redraws it whole.
class RedrawPause {
public:
    explicit RedrawPause(HWND hWnd) noexcept
        : m_hWnd(hWnd)
    {
        ::SendMessageA(m_hWnd, WM_SETREDRAW, FALSE, 0);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;
    ~RedrawPause()
    {
        ::SendMessageA(m_hWnd, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }

private:
    HWND m_hWnd;
};

// Sets a flag for as long as it lives.
class FlagScope {
public:
    explicit FlagScope(bool& bFlag) noexcept
        : m_bFlag(bFlag)
    {
        m_bFlag = true;
    }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    ~FlagScope() { m_bFlag = false; }

private:
    bool& m_bFlag;
};

// EnableWindow asks the window manager every time, even for the state a window has; the
// list notifies for every row it fills, so only a change is passed on.
void EnableIfChanged(HWND hWnd, BOOL bEnable) noexcept
{
    if ((::IsWindowEnabled(hWnd) != FALSE) != (bEnable != FALSE))
        ::EnableWindow(hWnd, bEnable);
}

LONG AxisStart(LONG refStart, LONG refEnd, LONG size, LONG workStart, LONG workEnd) noexcept
{
    LONG start = (refStart + refEnd) / 2 - size / 2;
    if (start < workStart)
        start = workStart;
    else if (start + size > workEnd)
        start = workEnd - size;
    return start;
}

}  // namespace

POINT CenteredDialogPosition(const RECT& rcDialog, const RECT& rcReference,
                             const RECT& rcWork) noexcept
{
    POINT pt;
    pt.x = AxisStart(rcReference.left, rcReference.right, rcDialog.right - rcDialog.left,
                     rcWork.left, rcWork.right);
    pt.y = AxisStart(rcReference.top, rcReference.bottom, rcDialog.bottom - rcDialog.top,
                     rcWork.top, rcWork.bottom);
    return pt;
}

SSSettings& SSConfigureDlg::Settings() const
{
    return m_pSettings != nullptr ? *m_pSettings : GetSettings();
}

void SSConfigureDlg::CenterDialog() noexcept
{
    RECT rcWork = {};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcWork, 0);
    RECT rcReference = rcWork;
    HWND hWndOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hWndOwner != nullptr) {
        const LONG_PTR style = ::GetWindowLongPtrA(hWndOwner, GWL_STYLE);
        if ((style & WS_VISIBLE) != 0 && (style & WS_MINIMIZE) == 0)
            ::GetWindowRect(hWndOwner, &rcReference);
    }
    RECT rcDialog = {};
    ::GetWindowRect(m_hWnd, &rcDialog);
    const POINT pt = CenteredDialogPosition(rcDialog, rcReference, rcWork);
    ::SetWindowPos(m_hWnd, nullptr, pt.x, pt.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
}

void SSConfigureDlg::FillSaverList()
{
    SSSettings& settings = Settings();
    HWND hWndList = GetDlgItem(IDC_SAVER_LIST);
    ListCtrlWrapper list(hWndList);
    PathList paths;
    std::vector<WideString> descriptions;
    FindDescribedSavers(paths, descriptions, settings.GetFolders(),
                        settings.GetRecurseSaverFolders());
    // The same answers as IsSaverSelected for every path, in a time that does not grow
    // with the product of found and stored savers.
    std::vector<bool> selected = MatchSelectedSavers(paths, settings.GetSavers());
    const size_t nFound = paths.GetCount();
    // A selected saver that cannot be seen now keeps its row, ticked, named by its file.
    std::set<AnsiString, PathTextLess> away;
    for (const AnsiString& stored : settings.GetSavers()) {
        if (!IsSaverAway(stored) || !away.insert(stored).second)
            continue;
        paths.Add(stored);
        descriptions.push_back(SaverListItem::FromPath(stored, WideString()).m_strFile.Wide());
        selected.push_back(true);
    }
    m_items.reserve(m_items.size() + paths.GetCount());
    // Room for every row at once, and no redrawing per row: the list view then takes a
    // thousand rows many times faster.
    ::SendMessageA(hWndList, LVM_SETITEMCOUNT, paths.GetCount(), LVSICF_NOINVALIDATEALL);
    std::optional<RedrawPause> pause(std::in_place, hWndList);
    // Every row notifies; the buttons are brought up to date once, after the last one.
    std::optional<FlagScope> filling(std::in_place, m_bFilling);
    m_bChangedWhileFilling = false;
    for (size_t i = 0; i < paths.GetCount(); ++i) {
        const AnsiString& path = paths[i];
        // Owned before any row points at it, so a failure here leaves nothing dangling.
        m_items.push_back(
            std::make_unique<SaverListItem>(SaverListItem::FromPath(path, descriptions[i])));
        SaverListItem* pItem = m_items.back().get();
        const int nRow =
            list.InsertRow(-1, pItem->m_strName.c_str(), reinterpret_cast<LPARAM>(pItem));
        if (nRow != -1 && selected[i])
            m_list.SetItemChecked(nRow, true);
        if (i >= nFound)
            m_away[pItem] = path;
    }
    filling.reset();
    pause.reset();
    if (m_bChangedWhileFilling)
        UpdateTryButtons();
    list.FitColumns();
}

void SSConfigureDlg::ShowSaverHealth()
{
    m_health.clear();
    const SaverHealth health(false);
    for (int i = 0; i < m_list.GetItemCount(); ++i) {
        const auto* pItem = reinterpret_cast<const SaverListItem*>(m_list.GetItemData(i));
        SaverHealthRecord record;
        const bool bAway = pItem != nullptr && m_away.count(pItem) != 0;
        if (pItem == nullptr || (!bAway && !health.Find(pItem->GetPath(), &record)))
            continue;
        if (!bAway)
            m_health[pItem] = record;
        const AnsiString status = bAway ? SaverAwayStatusText() : SaverStatusText(record);
        LVITEMA item = {};
        item.iSubItem = kStatusSubItem;
        item.pszText = const_cast<char*>(status.c_str());
        ::SendMessageA(m_list, LVM_SETITEMTEXTA, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&item));
    }
}

void SSConfigureDlg::SortSaverList() noexcept { m_list.SortItems(CompareSaverNames, 0); }

PathList SSConfigureDlg::CollectCheckedSaverPaths() const
{
    PathList paths;
    for (int i = 0; i < m_list.GetItemCount(); ++i) {
        if (m_list.IsItemChecked(i) == 0)
            continue;
        const auto* pItem = reinterpret_cast<const SaverListItem*>(m_list.GetItemData(i));
        const auto away = m_away.find(pItem);
        if (pItem != nullptr)
            paths.Add(away != m_away.end() ? away->second : pItem->GetPath());
    }
    return paths;
}

const SaverListItem* SSConfigureDlg::GetSelectedSaverItem() const noexcept
{
    if (m_list.GetSelectedCount() != 1)
        return nullptr;
    // The selection mark can name a row that a Ctrl+click has just deselected, so the
    // one selected row is asked for by its state.
    const int nRow = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (nRow < 0)
        return nullptr;
    return reinterpret_cast<const SaverListItem*>(m_list.GetItemData(nRow));
}

LRESULT SSConfigureDlg::UpdateTryButtons() noexcept
{
    // A saver that cannot be seen now cannot be tried either.
    const SaverListItem* pItem = GetSelectedSaverItem();
    const BOOL bOne = pItem != nullptr && m_away.count(pItem) == 0;
    EnableIfChanged(GetDlgItem(IDC_PREVIEW), bOne);
    EnableIfChanged(GetDlgItem(IDC_SETTINGS), bOne);
    return 0;
}

void SSConfigureDlg::UpdateSaverDetails()
{
    const SaverListItem* pItem = GetSelectedSaverItem();
    const auto found = pItem != nullptr ? m_health.find(pItem) : m_health.end();
    AnsiString details = found != m_health.end() ? SaverDetailsText(found->second) : AnsiString();
    const auto away = m_away.find(pItem);
    if (away != m_away.end())
        details = SaverAwayDetailsText(away->second);
    ::SetDlgItemTextA(m_hWnd, IDC_SAVER_DETAILS, details.c_str());
}

bool SSConfigureDlg::TrySelectedSaver(const AnsiString& switches)
{
    const SaverListItem* pItem = GetSelectedSaverItem();
    if (pItem == nullptr)
        return false;
    const AnsiString path = pItem->GetPath();
    UniqueHandle process = StartChildSaver(path.c_str(), SaverCommandLine(path, switches));
    if (!process)
        return false;
    // The dialog waits for its saver: it still paints, but takes no click, so that neither
    // a second saver nor OK comes in the middle.
    const HWND hWndFocus = ::GetFocus();
    ::EnableWindow(m_hWnd, FALSE);
    WaitForChildPumpingUntilEnd(process.get());
    ::EnableWindow(m_hWnd, TRUE);
    // Disabling took the keyboard focus away: the control that had it gets it back.
    if (hWndFocus != nullptr && ::IsWindow(hWndFocus))
        ::SetFocus(hWndFocus);
    return true;
}

LRESULT SSConfigureDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    CenterDialog();
    m_list.AttachToControl(GetDlgItem(IDC_SAVER_LIST));
    ListCtrlWrapper(GetDlgItem(IDC_SAVER_LIST)).AddColumn(kNameColumn);
    ListCtrlWrapper(GetDlgItem(IDC_SAVER_LIST)).AddColumn(kStatusColumn);
    FillSaverList();
    SortSaverList();
    ShowSaverHealth();
    ListCtrlWrapper(GetDlgItem(IDC_SAVER_LIST)).FitColumns();

    const SSSettings& settings = Settings();
    if (settings.GetShowDesktop())
        ::CheckDlgButton(m_hWnd, IDC_SHOW_DESKTOP, BST_CHECKED);
    char szDelay[16];
    ::wsprintfA(szDelay, "%lu", static_cast<unsigned long>(settings.GetShuffleDelay()));
    ::SetDlgItemTextA(m_hWnd, IDC_DELAY, szDelay);
    // Set after the text, so that a larger stored delay still shows in full.
    ::SendDlgItemMessageA(m_hWnd, IDC_DELAY, EM_LIMITTEXT, kDelayTextLimit, 0);
    for (const char* pszText : kMonitorModeTexts)
        ::SendDlgItemMessageA(m_hWnd, IDC_MONITOR_MODE, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(pszText));
    ::SendDlgItemMessageA(m_hWnd, IDC_MONITOR_MODE, CB_SETCURSEL,
                          static_cast<WPARAM>(settings.GetMonitorMode()), 0);
    if (settings.GetFadeMs() != 0)
        ::CheckDlgButton(m_hWnd, IDC_FADE, BST_CHECKED);
    if (settings.GetShuffleSavers()) {
        ::CheckDlgButton(m_hWnd, IDC_CYCLE_EVERY, BST_CHECKED);
    } else {
        ::EnableWindow(GetDlgItem(IDC_SHOW_DESKTOP), FALSE);
        ::EnableWindow(GetDlgItem(IDC_DELAY), FALSE);
        ::CheckDlgButton(m_hWnd, IDC_CYCLE_ONCE, BST_CHECKED);
    }
    return TRUE;
}

LRESULT SSConfigureDlg::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    m_away.clear();
    m_items.clear();
    return 0;
}

LRESULT SSConfigureDlg::OnCycleOption(WORD, WORD, HWND, BOOL&) noexcept
{
    HWND hWndDelay = GetDlgItem(IDC_DELAY);
    if (::IsDlgButtonChecked(m_hWnd, IDC_CYCLE_EVERY) == BST_CHECKED) {
        ::EnableWindow(hWndDelay, TRUE);
        ::EnableWindow(GetDlgItem(IDC_SHOW_DESKTOP), TRUE);
        const LRESULT length = ::SendMessageA(hWndDelay, WM_GETTEXTLENGTH, 0, 0);
        ::SendMessageA(hWndDelay, EM_SETSEL, static_cast<WPARAM>(length), length);
        ::SetFocus(hWndDelay);
    } else {
        ::EnableWindow(hWndDelay, FALSE);
        ::EnableWindow(GetDlgItem(IDC_SHOW_DESKTOP), FALSE);
    }
    return 0;
}

LRESULT SSConfigureDlg::OnOK(WORD, WORD wID, HWND, BOOL&)
{
    const bool bCycle = ::IsDlgButtonChecked(m_hWnd, IDC_CYCLE_EVERY) == BST_CHECKED;
    DWORD dwDelay = ::GetDlgItemInt(m_hWnd, IDC_DELAY, nullptr, FALSE);
    if (bCycle && dwDelay == 0) {
        ::MessageBoxA(m_hWnd, kZeroDelayMessage, kMessageCaption, MB_OK | MB_ICONWARNING);
        HWND hWndDelay = GetDlgItem(IDC_DELAY);
        ::SetFocus(hWndDelay);
        ::SendMessageA(hWndDelay, EM_SETSEL, 0, -1);
        return 0;
    }
    if (dwDelay > kMaxShuffleDelay)
        dwDelay = kMaxShuffleDelay;

    SSSettings& settings = Settings();
    settings.GetSavers() = CollectCheckedSaverPaths();
    settings.SetShuffleDelay(dwDelay);
    settings.SetShuffleSavers(bCycle);
    settings.SetShowDesktop(::IsDlgButtonChecked(m_hWnd, IDC_SHOW_DESKTOP) == BST_CHECKED);
    const LRESULT nMode = ::SendDlgItemMessageA(m_hWnd, IDC_MONITOR_MODE, CB_GETCURSEL, 0, 0);
    if (nMode >= 0 && static_cast<size_t>(nMode) < ARRAYSIZE(kMonitorModeTexts))
        settings.SetMonitorMode(static_cast<MonitorMode>(nMode));
    // The box turns the fade on or off; a length stored by other means stays while it is on.
    if (::IsDlgButtonChecked(m_hWnd, IDC_FADE) != BST_CHECKED)
        settings.SetFadeMs(0);
    else if (settings.GetFadeMs() == 0)
        settings.SetFadeMs(kDefaultFadeMs);
    settings.Save();
    SaverHealth health(true);
    for (const AnsiString& path : m_retried)
        health.Forget(path);
    health.Tidy(settings.GetSavers());
    EndDialog(wID);
    return 0;
}

LRESULT SSConfigureDlg::OnCancel(WORD, WORD, HWND, BOOL&) noexcept
{
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT SSConfigureDlg::OnSettings(WORD, WORD, HWND, BOOL&)
{
    char szHandle[24];
    ::wsprintfA(szHandle, " /c %ld", static_cast<long>(reinterpret_cast<LONG_PTR>(m_hWnd)));
    TrySelectedSaver(szHandle);
    return 0;
}

LRESULT SSConfigureDlg::OnPreview(WORD, WORD, HWND, BOOL&)
{
    if (!TrySelectedSaver(" /s"))
        return 0;
    // The user has tried the saver: it gets a fresh start in the show.
    const SaverListItem* pItem = GetSelectedSaverItem();
    if (pItem == nullptr || m_health.erase(pItem) == 0)
        return 0;
    m_retried.Add(pItem->GetPath());
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(pItem);
    const LRESULT nRow = ::SendMessageA(m_list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(&find));
    LVITEMA item = {};
    item.iSubItem = kStatusSubItem;
    item.pszText = const_cast<char*>("");
    if (nRow >= 0)
        ::SendMessageA(m_list, LVM_SETITEMTEXTA, static_cast<WPARAM>(nRow),
                       reinterpret_cast<LPARAM>(&item));
    UpdateSaverDetails();
    return 0;
}

LRESULT SSConfigureDlg::OnListItemChanged(int, LPNMHDR, BOOL&)
{
    if (m_bFilling) {
        m_bChangedWhileFilling = true;
        return 0;
    }
    UpdateSaverDetails();
    return UpdateTryButtons();
}
