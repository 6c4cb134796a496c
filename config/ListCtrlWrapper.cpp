#include "config/ListCtrlWrapper.h"

#include <commctrl.h>

int ListCtrlWrapper::GetColumnCount() const noexcept
{
    HWND hWndHeader = reinterpret_cast<HWND>(::SendMessageA(m_hWnd, LVM_GETHEADER, 0, 0));
    if (hWndHeader == nullptr)
        return 0;
    const LRESULT count = ::SendMessageA(hWndHeader, HDM_GETITEMCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

bool ListCtrlWrapper::AddColumn(const char* pszText) noexcept
{
    if (!IsValid())
        return false;
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(pszText);
    column.iSubItem = 0;
    return ::SendMessageA(m_hWnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(GetColumnCount()),
                          reinterpret_cast<LPARAM>(&column)) != -1;
}

int ListCtrlWrapper::InsertRow(int nIndex, const wchar_t* pszText, LPARAM lParam) noexcept
{
    if (!IsValid())
        return -1;
    const int count = static_cast<int>(::SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
    if (nIndex < 0 || nIndex > count)
        nIndex = count;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = nIndex;
    item.pszText = const_cast<wchar_t*>(pszText);
    item.lParam = lParam;
    // The list view answers with the index it used; a failure is -1.
    if (::SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == -1)
        return -1;
    return nIndex;
}

bool ListCtrlWrapper::FitColumns() noexcept
{
    if (!IsValid())
        return false;
    const int count = GetColumnCount();
    bool ok = true;
    for (int i = 0; i < count; ++i)
        ok = ::SendMessageA(m_hWnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i),
                            MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0)) != FALSE &&
            ok;
    return ok;
}
