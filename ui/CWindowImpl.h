#pragma once
#include "ui/CAtlModule.h"
#include "ui/CWinTraits.h"
#include "ui/CWindowImplBase.h"

// A window class of its own for T: registered on first creation, named "ATL:%p" after
// the address of its class record. TBase is CWindowImplBase or a helper layer over it.
template <class T, class TBase = CWindowImplBase, class TWinTraits = CControlWinTraits>
class CWindowImpl : public TBase {
public:
    // Creates the window; style 0 takes the traits' style. The object's message map sees
    // every message, the first ones sent during CreateWindowExA included.
    HWND CreateBoundWindow(HWND hWndParent, const RECT& rect, LPCSTR szWindowName = nullptr,
                           DWORD dwStyle = 0, DWORD dwExStyle = 0, UINT_PTR nID = 0,
                           LPVOID lpCreateParam = nullptr) noexcept
    {
        const ATOM atom = RegisterWndClass();
        return this->CreateWindowOfClass(
            atom, hWndParent, rect, szWindowName, TWinTraits::GetWndStyle(dwStyle),
            TWinTraits::GetWndExStyle(dwExStyle), reinterpret_cast<HMENU>(nID), lpCreateParam);
    }

    // The class's registration record; its address names the class.
    static WNDCLASSEXA& GetWndClassInfo() noexcept
    {
        static WNDCLASSEXA wc = {sizeof(WNDCLASSEXA),
                                 CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                                 CWindowImplBase::StartWindowProc,
                                 0,
                                 0,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                                 nullptr,
                                 nullptr,
                                 nullptr};
        return wc;
    }

private:
    static ATOM RegisterWndClass() noexcept
    {
        static ATOM atom = 0;
        static char szName[sizeof("ATL:") + 2 * sizeof(void*) + 1];
        CAtlModule* module = CAtlModule::Instance();
        if (atom != 0 || module == nullptr)
            return atom;
        WNDCLASSEXA& wc = GetWndClassInfo();
        ::wsprintfA(szName, "ATL:%p", static_cast<void*>(&wc));
        wc.lpszClassName = szName;
        wc.hInstance = module->GetModuleInstance();
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        atom = ::RegisterClassExA(&wc);
        return atom;
    }
};
