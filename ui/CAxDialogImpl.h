#pragma once
#include "ui/CAtlModule.h"
#include "ui/CDialogImplBaseT.h"

// A modal dialog run from the template T::IDD of the module's resources. Templates that
// list embedded controls would be served by CreateEmbeddedControls; none of ours do.
template <class T, class TBase = CWindowImplBase>
class CAxDialogImpl : public CDialogImplBaseT<TBase> {
public:
    // The value given to EndDialog, or -1 when the template is missing or the dialog
    // cannot be made; the thread's last error then tells why.
    INT_PTR RunModal(HWND hWndParent = nullptr, LPARAM dwInitParam = 0) noexcept
    {
        CAtlModule* module = CAtlModule::Instance();
        if (module == nullptr || this->m_hWnd != nullptr) {
            ::SetLastError(ERROR_INVALID_FUNCTION);
            return -1;
        }
        HINSTANCE hInstance = module->GetModuleInstance();
        HRSRC hResource = ::FindResourceA(hInstance, MAKEINTRESOURCEA(T::IDD), RT_DIALOG);
        HGLOBAL hTemplate = hResource != nullptr ? ::LoadResource(hInstance, hResource) : nullptr;
        auto* pTemplate = hTemplate != nullptr
            ? static_cast<LPCDLGTEMPLATEA>(::LockResource(hTemplate))
            : nullptr;
        if (pTemplate == nullptr)
            return -1;

        this->m_dwInitError = ERROR_SUCCESS;
        module->AddCreateWndData(static_cast<CWindowImplBase*>(this));
        const INT_PTR result =
            ::DialogBoxIndirectParamA(hInstance, pTemplate, hWndParent,
                                      CDialogImplBaseT<TBase>::StartDialogProc, dwInitParam);
        DWORD dwError = ::GetLastError();
        module->RemoveCreateWndData(static_cast<CWindowImplBase*>(this));
        if (result <= 0 && this->m_dwInitError != ERROR_SUCCESS)
            dwError = this->m_dwInitError;
        ::SetLastError(dwError);
        return result;
    }
};
