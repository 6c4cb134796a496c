#pragma once
#include <windows.h>

// Something that can take a window message: returns TRUE when handled, with the result
// in lResult. Map id 0 is the only map; any other id handles nothing.
class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD dwMsgMapID) = 0;

protected:
    ~CMessageMap() = default;
};

// Message-map entries, in the form Win32 engineers know from ATL. Each handler gets
// bHandled set to TRUE and may clear it to let the message go on to the next entry.
#define BEGIN_MSG_MAP(theClass)                                                   \
public:                                                                           \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, \
                              LRESULT& lResult, DWORD dwMsgMapID) override        \
    {                                                                             \
        (void)hWnd;                                                               \
        (void)wParam;                                                             \
        (void)lParam;                                                             \
        (void)lResult;                                                            \
        BOOL bHandled = TRUE;                                                     \
        (void)bHandled;                                                           \
        if (dwMsgMapID != 0)                                                      \
            return FALSE;

#define MESSAGE_HANDLER(msg, func)                      \
    if (uMsg == (msg)) {                                \
        bHandled = TRUE;                                \
        lResult = func(uMsg, wParam, lParam, bHandled); \
        if (bHandled)                                   \
            return TRUE;                                \
    }

#define COMMAND_HANDLER(id, code, func)                                                           \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) {               \
        bHandled = TRUE;                                                                          \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
        if (bHandled)                                                                             \
            return TRUE;                                                                          \
    }

#define NOTIFY_HANDLER(id, cd, func)                                                           \
    if (uMsg == WM_NOTIFY &&                                                                   \
        reinterpret_cast<LPNMHDR>(lParam)->idFrom == static_cast<UINT_PTR>(id) &&              \
        reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) {                    \
        bHandled = TRUE;                                                                       \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled); \
        if (bHandled)                                                                          \
            return TRUE;                                                                       \
    }

#define END_MSG_MAP() \
    return FALSE;     \
    }
