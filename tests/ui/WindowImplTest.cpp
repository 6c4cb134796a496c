// The window framework against Wine's real window manager: binding at the first
// message, message-map fall-through, attaching to controls and the end of a window.
#include "ui/CWindowImpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

const UINT WM_TEST_CHAIN = WM_APP + 1;
const UINT WM_TEST_DESTROY_INSIDE = WM_APP + 2;
const UINT WM_TEST_THROW = WM_APP + 3;
const UINT WM_TEST_OWN = WM_APP + 4;
const LRESULT kFirstResult = 11;
const LRESULT kSecondResult = 22;
const RECT kRect = {10, 10, 210, 110};

class RecordingWindow : public CWindowImpl<RecordingWindow, CWindowImplBase, CWinTraits<WS_POPUP>> {
public:
    std::vector<UINT> messages;
    HWND hWndAtNcCreate = nullptr;
    HWND hWndSeenDuringDestroy = nullptr;
    HWND finalHandle = nullptr;
    int finalCalls = 0;

    BEGIN_MSG_MAP(RecordingWindow)
        messages.push_back(uMsg);
        MESSAGE_HANDLER(WM_NCCREATE, OnNcCreate)
        MESSAGE_HANDLER(WM_TEST_CHAIN, OnChainFirst)
        MESSAGE_HANDLER(WM_TEST_CHAIN, OnChainSecond)
        MESSAGE_HANDLER(WM_TEST_DESTROY_INSIDE, OnDestroyInside)
        MESSAGE_HANDLER(WM_TEST_THROW, OnThrow)
    END_MSG_MAP()

    void OnFinalMessage(HWND hWnd) override
    {
        finalHandle = hWnd;
        ++finalCalls;
    }

private:
    LRESULT OnNcCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        hWndAtNcCreate = m_hWnd;
        bHandled = FALSE;
        return 0;
    }
    // wParam 1: pass the message on to the next entry.
    LRESULT OnChainFirst(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        if (wParam == 1)
            bHandled = FALSE;
        return kFirstResult;
    }
    LRESULT OnChainSecond(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        if (wParam == 1 && GetCurrentMessage() != nullptr &&
            GetCurrentMessage()->message == WM_TEST_CHAIN)
            return kSecondResult;
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnDestroyInside(UINT, WPARAM, LPARAM, BOOL&)
    {
        ::DestroyWindow(m_hWnd);
        hWndSeenDuringDestroy = m_hWnd;
        return 0;
    }
    LRESULT OnThrow(UINT, WPARAM, LPARAM, BOOL&) { throw std::runtime_error("handler failed"); }
};

// Handles one private message on top of an existing control.
class AttachedControl : public CWindowImpl<AttachedControl> {
public:
    int ownCalls = 0;
    int finalCalls = 0;

    BEGIN_MSG_MAP(AttachedControl)
        MESSAGE_HANDLER(WM_TEST_OWN, OnOwn)
    END_MSG_MAP()

    void OnFinalMessage(HWND) override { ++finalCalls; }

private:
    LRESULT OnOwn(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++ownCalls;
        return kFirstResult;
    }
};

TEST(WindowImpl, FirstMessagesOfCreationReachTheMap)
{
    RecordingWindow wnd;
    HWND hWnd = wnd.CreateBoundWindow(nullptr, kRect, "Recording");
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(wnd.m_hWnd, hWnd);
    EXPECT_EQ(wnd.hWndAtNcCreate, hWnd) << "the object is bound before WM_NCCREATE";
    ASSERT_FALSE(wnd.messages.empty());
    // The very first message the system sent during CreateWindowExA was seen by the map.
    const UINT first = wnd.messages.front();
    EXPECT_TRUE(first == WM_GETMINMAXINFO || first == WM_NCCREATE) << first;
    const auto seen = [&](UINT m) {
        return std::find(wnd.messages.begin(), wnd.messages.end(), m) != wnd.messages.end();
    };
    EXPECT_TRUE(seen(WM_NCCREATE));
    EXPECT_TRUE(seen(WM_CREATE));
    // Unhandled messages reach DefWindowProcA: the window text was stored by it.
    char text[32] = {};
    ::GetWindowTextA(hWnd, text, sizeof(text));
    EXPECT_STREQ(text, "Recording");
    // Style 0 takes the traits' style.
    EXPECT_TRUE((::GetWindowLongA(hWnd, GWL_STYLE) & WS_POPUP) != 0);
    ::DestroyWindow(hWnd);
}

TEST(WindowImpl, HandledFlagPassesTheMessageOnToTheNextEntryAndTheDefault)
{
    RecordingWindow wnd;
    HWND hWnd = wnd.CreateBoundWindow(nullptr, kRect, "Chain");
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(::SendMessageA(hWnd, WM_TEST_CHAIN, 0, 0), kFirstResult);
    EXPECT_EQ(::SendMessageA(hWnd, WM_TEST_CHAIN, 1, 0), kSecondResult);
    // wParam 2: the first entry keeps it handled, so its result stands and neither the
    // second entry nor DefWindowProcA sees the message.
    EXPECT_EQ(::SendMessageA(hWnd, WM_TEST_CHAIN, 2, 0), kFirstResult);
    EXPECT_EQ(wnd.GetCurrentMessage(), nullptr);
    ::DestroyWindow(hWnd);
}

TEST(WindowImpl, ExceptionInAHandlerStopsAtTheWindowProcedure)
{
    RecordingWindow wnd;
    HWND hWnd = wnd.CreateBoundWindow(nullptr, kRect, "Throw");
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(::SendMessageA(hWnd, WM_TEST_THROW, 0, 0), 0);
    EXPECT_EQ(wnd.GetCurrentMessage(), nullptr);
    EXPECT_EQ(::SendMessageA(hWnd, WM_TEST_CHAIN, 0, 0), kFirstResult) << "still dispatching";
    ::DestroyWindow(hWnd);
}

TEST(WindowImpl, HandleIsClearedAfterTheOutermostDispatchOfWmNcDestroy)
{
    RecordingWindow wnd;
    HWND hWnd = wnd.CreateBoundWindow(nullptr, kRect, "Destroy");
    ASSERT_NE(hWnd, nullptr);
    ::SendMessageA(hWnd, WM_TEST_DESTROY_INSIDE, 0, 0);
    EXPECT_EQ(wnd.hWndSeenDuringDestroy, hWnd) << "still bound inside the outer dispatch";
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(wnd.finalCalls, 1);
    EXPECT_EQ(wnd.finalHandle, hWnd);
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(CWindowImplBase::FromHandle(hWnd), nullptr);
    // The object can make a new window afterwards.
    HWND hWnd2 = wnd.CreateBoundWindow(nullptr, kRect, "Again");
    EXPECT_NE(hWnd2, nullptr);
    ::DestroyWindow(hWnd2);
    EXPECT_EQ(wnd.finalCalls, 2);
}

TEST(WindowImpl, CreationFailsCleanlyWhenAlreadyBound)
{
    RecordingWindow wnd;
    HWND hWnd = wnd.CreateBoundWindow(nullptr, kRect, "Once");
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(wnd.CreateBoundWindow(nullptr, kRect, "Twice"), nullptr);
    EXPECT_EQ(wnd.m_hWnd, hWnd);
    ::DestroyWindow(hWnd);
}

TEST(WindowImpl, AttachesToAnExistingControlAndDetachesAgain)
{
    HWND hEdit = ::CreateWindowExA(0, "EDIT", "before", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hEdit, nullptr);
    const LONG_PTR original = ::GetWindowLongPtrA(hEdit, GWLP_WNDPROC);

    AttachedControl ctrl;
    ASSERT_TRUE(ctrl.AttachToWindow(hEdit));
    EXPECT_EQ(ctrl.m_hWnd, hEdit);
    EXPECT_FALSE(AttachedControl().AttachToWindow(hEdit)) << "one object per window";
    EXPECT_EQ(::SendMessageA(hEdit, WM_TEST_OWN, 0, 0), kFirstResult);
    EXPECT_EQ(ctrl.ownCalls, 1);
    // Unhandled messages go on to the edit control's own procedure.
    ::SetWindowTextA(hEdit, "after");
    char text[16] = {};
    ::GetWindowTextA(hEdit, text, sizeof(text));
    EXPECT_STREQ(text, "after");

    EXPECT_EQ(ctrl.DetachFromWindow(), hEdit);
    EXPECT_EQ(ctrl.m_hWnd, nullptr);
    EXPECT_EQ(::GetWindowLongPtrA(hEdit, GWLP_WNDPROC), original);
    ::SendMessageA(hEdit, WM_TEST_OWN, 0, 0);
    EXPECT_EQ(ctrl.ownCalls, 1) << "no longer reaches the object";
    ::DestroyWindow(hEdit);
    EXPECT_EQ(ctrl.finalCalls, 0);
}

TEST(WindowImpl, AttachedControlIsLetGoWhenItIsDestroyed)
{
    HWND hEdit = ::CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hEdit, nullptr);
    AttachedControl ctrl;
    ASSERT_TRUE(ctrl.AttachToWindow(hEdit));
    ::DestroyWindow(hEdit);
    EXPECT_EQ(ctrl.m_hWnd, nullptr);
    EXPECT_EQ(ctrl.finalCalls, 1);
    EXPECT_FALSE(ctrl.AttachToWindow(nullptr));
}

}  // namespace
