#include "config/ScreenSaverListCtrl.h"

namespace {

// State images of a check-box list view, in the bits of LVIS_STATEIMAGEMASK.
const UINT kStateImageShift = 12;
const UINT kStateCleared = 1u << kStateImageShift;
const UINT kStateTicked = 2u << kStateImageShift;

bool IsControlDown() noexcept { return ::GetKeyState(VK_CONTROL) < 0; }

}  // namespace

bool ScreenSaverListCtrl::AttachToControl(HWND hWndList) noexcept
{
    if (!AttachToWindow(hWndList))
        return false;
    // Mask 0 replaces the whole extended style.
    SetExtendedListViewStyle(GetExtendedLVStyle(), 0);
    return true;
}

int ScreenSaverListCtrl::IsItemChecked(int nItem) const noexcept
{
    return static_cast<int>(GetItemState(nItem, LVIS_STATEIMAGEMASK) >> kStateImageShift) - 1;
}

void ScreenSaverListCtrl::SetItemChecked(int nItem, bool bChecked) const noexcept
{
    SetItemState(nItem, bChecked ? kStateTicked : kStateCleared, LVIS_STATEIMAGEMASK);
}

void ScreenSaverListCtrl::ApplyCheckToSelection(int nItem) const noexcept
{
    LVITEMA item = {};
    item.mask = LVIF_STATE;
    item.iItem = nItem;
    item.stateMask = LVIS_SELECTED;
    if (!GetItem(&item) || (item.state & LVIS_SELECTED) == 0)
        return;
    const bool bNewState = IsItemChecked(nItem) == 0;
    // The row itself is left to the list view, which toggles it right after this.
    for (int i = GetNextItem(-1, LVNI_SELECTED); i != -1; i = GetNextItem(i, LVNI_SELECTED)) {
        if (i != nItem)
            SetItemChecked(i, bNewState);
    }
}

LRESULT ScreenSaverListCtrl::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) noexcept
{
    LVHITTESTINFO hit = {};
    hit.pt.x = static_cast<short>(LOWORD(lParam));
    hit.pt.y = static_cast<short>(HIWORD(lParam));
    const int nItem = HitTest(&hit);
    if (nItem != -1 && hit.flags == LVHT_ONITEMSTATEICON && !IsControlDown())
        ApplyCheckToSelection(nItem);
    bHandled = FALSE;
    return 0;
}

LRESULT ScreenSaverListCtrl::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) noexcept
{
    if (wParam == VK_SPACE) {
        const int nItem = GetNextItem(-1, LVNI_FOCUSED);
        if (nItem != -1 && !IsControlDown())
            ApplyCheckToSelection(nItem);
    }
    bHandled = FALSE;
    return 0;
}
