#pragma once
#include <windows.h>

#include <commctrl.h>

// List-view messages as member functions over any window holder TBase (with m_hWnd).
template <class TBase> class CListViewCtrlT : public TBase {
public:
    int GetItemCount() const noexcept { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    UINT GetSelectedCount() const noexcept { return static_cast<UINT>(Send(LVM_GETSELECTEDCOUNT)); }
    int GetSelectionMark() const noexcept { return static_cast<int>(Send(LVM_GETSELECTIONMARK)); }
    int GetNextItem(int nItem, UINT nFlags) const noexcept
    {
        return static_cast<int>(
            Send(LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), MAKELPARAM(nFlags, 0)));
    }
    UINT GetItemState(int nItem, UINT nMask) const noexcept
    {
        return static_cast<UINT>(Send(LVM_GETITEMSTATE, static_cast<WPARAM>(nItem), nMask));
    }
    BOOL SetItemState(int nItem, UINT nState, UINT nMask) const noexcept
    {
        LVITEMA item = {};
        item.state = nState;
        item.stateMask = nMask;
        return static_cast<BOOL>(
            Send(LVM_SETITEMSTATE, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    }
    BOOL GetItem(LVITEMA* pItem) const noexcept
    {
        return static_cast<BOOL>(Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    DWORD_PTR GetItemData(int nItem) const noexcept
    {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = nItem;
        return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
    }
    int HitTest(LVHITTESTINFO* pInfo) const noexcept
    {
        return static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(pInfo)));
    }
    DWORD SetExtendedListViewStyle(DWORD dwExStyle, DWORD dwMask = 0) const noexcept
    {
        return static_cast<DWORD>(Send(LVM_SETEXTENDEDLISTVIEWSTYLE, dwMask, dwExStyle));
    }
    DWORD GetExtendedListViewStyle() const noexcept
    {
        return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
    }
    BOOL SortItems(PFNLVCOMPARE pfnCompare, LPARAM lParamSort) const noexcept
    {
        return static_cast<BOOL>(Send(LVM_SORTITEMS, static_cast<WPARAM>(lParamSort),
                                      reinterpret_cast<LPARAM>(pfnCompare)));
    }

private:
    LRESULT Send(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendMessageA(this->m_hWnd, uMsg, wParam, lParam);
    }
};
