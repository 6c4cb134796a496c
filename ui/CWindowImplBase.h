#pragma once
#include "ui/CMessageMap.h"
#include "ui/CWindow.h"

// A window bound to a C++ object: every message of the window goes through the object's
// message map, unhandled ones to the default procedure (DefWindowProcA for a window the
// object created, the previous procedure for one it attached to). The object is bound
// at the window's first message and let go after WM_NCDESTROY; destroying the object
// never destroys the window.
class CWindowImplBase : public CWindow, public CMessageMap {
public:
    CWindowImplBase() noexcept = default;
    CWindowImplBase(const CWindowImplBase&) = delete;
    CWindowImplBase& operator=(const CWindowImplBase&) = delete;

    // From CMessageMap; first virtual slot.
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override = 0;
    virtual ~CWindowImplBase();
    virtual WNDPROC GetWindowProc() noexcept { return WindowProc; }
    // Called with the handle after the window's last message, when the object is free.
    virtual void OnFinalMessage(HWND hWnd);

    // Binds the object to an existing window and replaces its window procedure.
    bool AttachToWindow(HWND hWnd) noexcept;
    // Gives an attached window its previous procedure back; nullptr when that is not possible.
    HWND DetachFromWindow() noexcept;

    // The message being dispatched, or nullptr outside a dispatch.
    const MSG* GetCurrentMessage() const noexcept { return m_pCurrentMsg; }

    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;

    // The object bound to a window, or nullptr.
    static CWindowImplBase* FromHandle(HWND hWnd) noexcept;

protected:
    // Creates a window of an already registered class whose procedure is StartWindowProc.
    HWND CreateWindowOfClass(ATOM atom, HWND hWndParent, const RECT& rect, LPCSTR szWindowName,
                             DWORD dwStyle, DWORD dwExStyle, HMENU hMenu,
                             LPVOID lpCreateParam) noexcept;

    // Window procedure of a class until its first message binds the window to the object.
    static LRESULT CALLBACK StartWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // Binds hWnd to this object (the window property); false when it is bound elsewhere.
    bool Bind(HWND hWnd) noexcept;
    // Runs the message map, with exceptions kept inside: true when the map handled it.
    bool Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;
    // At WM_NCDESTROY: the window lets go of the object; the handle is cleared later.
    void MarkDestroyed(HWND hWnd) noexcept;
    // After the outermost dispatch of a destroyed window: unbind and run the final hook.
    void FinishIfDestroyed(const MSG* pOuterMsg) noexcept;

    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcA;
    const MSG* m_pCurrentMsg = nullptr;
    bool m_bDestroyed = false;
};
