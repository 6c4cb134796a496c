#pragma once
#include "ui/CListViewCtrlT.h"
#include "ui/CWinTraits.h"
#include "ui/CWindowImpl.h"

// Extended list-view style of a list with a check box on every row.
constexpr DWORD kCheckListViewExStyle = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;

using CCheckListViewCtrlImplTraits =
    CWinTraits<WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 0>;

// A list view whose rows carry check boxes (state image 1 cleared, 2 ticked).
template <class T, class TBase = CListViewCtrlT<CWindowImplBase>,
          class TWinTraits = CCheckListViewCtrlImplTraits>
class CCheckListViewCtrlImpl : public CWindowImpl<T, TBase, TWinTraits> {
public:
    static DWORD GetExtendedLVStyle() noexcept { return kCheckListViewExStyle; }
};
