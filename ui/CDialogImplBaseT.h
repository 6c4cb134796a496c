#pragma once
#include "ui/CAtlModule.h"
#include "ui/CWindowImplBase.h"

// A dialog bound to a C++ object. The dialog manager calls the dialog procedure; a
// handled message gives the dialog-result rules their answer, an unhandled one FALSE.
template <class TBase = CWindowImplBase> class CDialogImplBaseT : public TBase {
public:
    WNDPROC GetWindowProc() noexcept override { return reinterpret_cast<WNDPROC>(DialogProc); }

    BOOL EndDialog(int nRetCode) noexcept { return ::EndDialog(this->m_hWnd, nRetCode); }

protected:
    // Run at WM_INITDIALOG before the message map; a failure ends the dialog.
    virtual HRESULT CreateEmbeddedControls() noexcept { return S_OK; }

    // Why WM_INITDIALOG failed, kept for the caller past the dialog manager's clean-up.
    DWORD m_dwInitError = ERROR_SUCCESS;

    static INT_PTR CALLBACK StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // Messages whose handled result is the dialog procedure's own return value.
    static bool ReturnsResultDirectly(UINT uMsg) noexcept
    {
        return uMsg == WM_INITDIALOG || uMsg == WM_COMPAREITEM || uMsg == WM_VKEYTOITEM ||
            uMsg == WM_CHARTOITEM || uMsg == WM_QUERYDRAGICON ||
            (uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC);
    }
};

template <class TBase>
INT_PTR CALLBACK CDialogImplBaseT<TBase>::StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                                          LPARAM lParam)
{
    CAtlModule* module = CAtlModule::Instance();
    auto* pThis =
        module != nullptr ? static_cast<CWindowImplBase*>(module->ExtractCreateWndData()) : nullptr;
    auto* pDialog = static_cast<CDialogImplBaseT*>(pThis);
    if (pDialog == nullptr || !pDialog->Bind(hWnd))
        return FALSE;
    ::SetWindowLongPtrA(hWnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(DialogProc));
    return DialogProc(hWnd, uMsg, wParam, lParam);
}

template <class TBase>
INT_PTR CALLBACK CDialogImplBaseT<TBase>::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                                     LPARAM lParam)
{
    auto* pThis = static_cast<CDialogImplBaseT*>(CWindowImplBase::FromHandle(hWnd));
    if (pThis == nullptr)
        return FALSE;

    if (uMsg == WM_INITDIALOG) {
        const HRESULT hr = pThis->CreateEmbeddedControls();
        if (FAILED(hr)) {
            pThis->m_dwInitError = HRESULT_CODE(hr);
            ::DestroyWindow(hWnd);
            ::SetLastError(pThis->m_dwInitError);
            return 0;
        }
    }

    MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
    const MSG* pOldMsg = pThis->m_pCurrentMsg;
    pThis->m_pCurrentMsg = &msg;
    LRESULT lResult = 0;
    const bool handled = pThis->Dispatch(hWnd, uMsg, wParam, lParam, lResult);
    pThis->m_pCurrentMsg = pOldMsg;

    INT_PTR result = FALSE;
    if (handled) {
        if (ReturnsResultDirectly(uMsg)) {
            result = static_cast<INT_PTR>(lResult);
        } else {
            ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
            result = TRUE;
        }
    }
    if (uMsg == WM_NCDESTROY)
        pThis->MarkDestroyed(hWnd);
    pThis->FinishIfDestroyed(pOldMsg);
    return result;
}
