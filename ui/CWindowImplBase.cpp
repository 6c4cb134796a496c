#include "ui/CWindowImplBase.h"

#include "ui/CAtlModule.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {
// The window property that binds a window to its object.
const char kObjectProperty[] = "Quillmix.WindowObject";

// The bound windows again, for the window procedure to find its object at every message:
// reading a window property is a call to the window server (on Wine about 5 us, several
// times per list row a dialog fills). The property stays what binds; every unbinding
// takes the window out of here too, and a window missing here is looked up by it.
struct BoundWindow {
    HWND hWnd;
    CWindowImplBase* pObject;
};
SRWLOCK g_boundLock = SRWLOCK_INIT;

// Never destroyed: an object of static storage may let go of its window after the
// destructors at exit have run. nullptr only when even that could not be had.
std::vector<BoundWindow>* BoundWindows() noexcept
{
    static auto* pBound = new (std::nothrow) std::vector<BoundWindow>();
    return pBound;
}

void Remember(HWND hWnd, CWindowImplBase* pObject) noexcept
{
    std::vector<BoundWindow>* pBound = BoundWindows();
    if (pBound == nullptr)
        return;
    ::AcquireSRWLockExclusive(&g_boundLock);
    try {
        pBound->push_back({hWnd, pObject});
    } catch (const std::bad_alloc&) {
        // Not remembered: the window's object is found by its property instead.
    }
    ::ReleaseSRWLockExclusive(&g_boundLock);
}

// Forgets the window hWnd, or every window of pObject when hWnd is NULL.
void Forget(HWND hWnd, const CWindowImplBase* pObject) noexcept
{
    std::vector<BoundWindow>* pBound = BoundWindows();
    if (pBound == nullptr)
        return;
    ::AcquireSRWLockExclusive(&g_boundLock);
    pBound->erase(std::remove_if(pBound->begin(), pBound->end(),
                                 [&](const BoundWindow& bound) {
                                     return hWnd != nullptr ? bound.hWnd == hWnd
                                                            : bound.pObject == pObject;
                                 }),
                  pBound->end());
    ::ReleaseSRWLockExclusive(&g_boundLock);
}

void Unbind(HWND hWnd) noexcept
{
    ::RemovePropA(hWnd, kObjectProperty);
    Forget(hWnd, nullptr);
}
}  // namespace

CWindowImplBase::~CWindowImplBase()
{
    Forget(nullptr, this);
    // A window that outlives its object must not reach freed memory through the property.
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd) &&
        ::GetPropA(m_hWnd, kObjectProperty) == static_cast<HANDLE>(this)) {
        Unbind(m_hWnd);
        if (m_pfnSuperWindowProc != ::DefWindowProcA)
            ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    }
}

void CWindowImplBase::OnFinalMessage(HWND) { }

CWindowImplBase* CWindowImplBase::FromHandle(HWND hWnd) noexcept
{
    CWindowImplBase* pObject = nullptr;
    if (std::vector<BoundWindow>* pBound = BoundWindows()) {
        ::AcquireSRWLockShared(&g_boundLock);
        const auto it = std::find_if(pBound->begin(), pBound->end(),
                                     [hWnd](const BoundWindow& b) { return b.hWnd == hWnd; });
        if (it != pBound->end())
            pObject = it->pObject;
        ::ReleaseSRWLockShared(&g_boundLock);
    }
    if (pObject != nullptr || hWnd == nullptr)
        return pObject;
    return static_cast<CWindowImplBase*>(::GetPropA(hWnd, kObjectProperty));
}

bool CWindowImplBase::Bind(HWND hWnd) noexcept
{
    if (m_hWnd != nullptr || ::GetPropA(hWnd, kObjectProperty) != nullptr)
        return false;
    if (!::SetPropA(hWnd, kObjectProperty, static_cast<HANDLE>(this)))
        return false;
    Remember(hWnd, this);
    m_hWnd = hWnd;
    m_bDestroyed = false;
    return true;
}

bool CWindowImplBase::AttachToWindow(HWND hWnd) noexcept
{
    if (hWnd == nullptr || !::IsWindow(hWnd) || !Bind(hWnd))
        return false;
    const LONG_PTR previous =
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc()));
    if (previous == 0) {
        Unbind(hWnd);
        m_hWnd = nullptr;
        return false;
    }
    m_pfnSuperWindowProc = reinterpret_cast<WNDPROC>(previous);
    return true;
}

HWND CWindowImplBase::DetachFromWindow() noexcept
{
    if (m_hWnd == nullptr || m_pfnSuperWindowProc == ::DefWindowProcA)
        return nullptr;
    // Someone subclassed the window after us: taking ours out would cut them off too.
    if (::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(GetWindowProc()))
        return nullptr;
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    Unbind(m_hWnd);
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    m_pfnSuperWindowProc = ::DefWindowProcA;
    return hWnd;
}

LRESULT CWindowImplBase::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    return ::CallWindowProcA(m_pfnSuperWindowProc, m_hWnd, uMsg, wParam, lParam);
}

HWND CWindowImplBase::CreateWindowOfClass(ATOM atom, HWND hWndParent, const RECT& rect,
                                          LPCSTR szWindowName, DWORD dwStyle, DWORD dwExStyle,
                                          HMENU hMenu, LPVOID lpCreateParam) noexcept
{
    CAtlModule* module = CAtlModule::Instance();
    if (module == nullptr || m_hWnd != nullptr || atom == 0) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    module->AddCreateWndData(static_cast<CWindowImplBase*>(this));
    HWND hWnd = ::CreateWindowExA(dwExStyle, MAKEINTATOM(atom), szWindowName, dwStyle, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                  hWndParent, hMenu, module->GetModuleInstance(), lpCreateParam);
    const DWORD dwError = ::GetLastError();
    module->RemoveCreateWndData(static_cast<CWindowImplBase*>(this));
    ::SetLastError(dwError);
    return hWnd;
}

LRESULT CALLBACK CWindowImplBase::StartWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                                  LPARAM lParam)
{
    CAtlModule* module = CAtlModule::Instance();
    auto* pThis =
        module != nullptr ? static_cast<CWindowImplBase*>(module->ExtractCreateWndData()) : nullptr;
    if (pThis == nullptr || !pThis->Bind(hWnd))
        return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pThis->GetWindowProc()));
    return pThis->GetWindowProc()(hWnd, uMsg, wParam, lParam);
}

bool CWindowImplBase::Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                               LRESULT& lResult) noexcept
{
    // No C++ exception may unwind into the system's code that called the procedure: a
    // handler that throws leaves its message to the default processing.
    try {
        return ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0) != FALSE;
    } catch (...) {
        lResult = 0;
        return false;
    }
}

void CWindowImplBase::MarkDestroyed(HWND hWnd) noexcept
{
    Unbind(hWnd);
    m_bDestroyed = true;
}

void CWindowImplBase::FinishIfDestroyed(const MSG* pOuterMsg) noexcept
{
    if (!m_bDestroyed || pOuterMsg != nullptr)
        return;
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    m_bDestroyed = false;
    m_pfnSuperWindowProc = ::DefWindowProcA;
    try {
        OnFinalMessage(hWnd);
    } catch (...) {
        // Same rule as Dispatch: nothing unwinds into the system.
    }
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CWindowImplBase* pThis = FromHandle(hWnd);
    if (pThis == nullptr)
        return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);

    MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
    const MSG* pOldMsg = pThis->m_pCurrentMsg;
    pThis->m_pCurrentMsg = &msg;
    LRESULT lResult = 0;
    const bool handled = pThis->Dispatch(hWnd, uMsg, wParam, lParam, lResult);
    pThis->m_pCurrentMsg = pOldMsg;

    if (uMsg == WM_NCDESTROY) {
        const LONG_PTR ours = ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC);
        if (!handled)
            lResult = pThis->DefWindowProc(uMsg, wParam, lParam);
        // An attached window gets its previous procedure back unless someone replaced ours.
        if (pThis->m_pfnSuperWindowProc != ::DefWindowProcA &&
            ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC) == ours)
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(pThis->m_pfnSuperWindowProc));
        pThis->MarkDestroyed(hWnd);
    } else if (!handled) {
        lResult = pThis->DefWindowProc(uMsg, wParam, lParam);
    }
    pThis->FinishIfDestroyed(pOldMsg);
    return lResult;
}
