// Modal dialogs from the module's templates, and the results the dialog manager sees.
#include "res/resource.h"
#include "ui/AnsiString.h"
#include "ui/CAxDialogImpl.h"

#include <gtest/gtest.h>

namespace {

const UINT WM_TEST_PROBE = WM_APP + 10;
const UINT WM_TEST_UNHANDLED = WM_APP + 11;
const LRESULT kProbeResult = 42;
const int kEndCode = 77;
const LPARAM kInitParam = 1234;
const int kMissingTemplate = 9999;
const HRESULT kEmbedFailure = HRESULT_FROM_WIN32(ERROR_CLASS_DOES_NOT_EXIST);

// Checks the dialog-result rules from inside the modal loop, then ends with kEndCode.
class ProbeDialog : public CAxDialogImpl<ProbeDialog> {
public:
    enum { IDD = IDD_CONFIGURE };

    LPARAM initParam = 0;
    LRESULT probeResult = 0;
    LRESULT ctlColorResult = 0;
    LRESULT unhandledResult = -1;
    HBRUSH brush = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    bool failEmbedding = false;

    BEGIN_MSG_MAP(ProbeDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_TEST_PROBE, OnProbe)
        MESSAGE_HANDLER(WM_CTLCOLORSTATIC, OnCtlColorStatic)
        MESSAGE_HANDLER(WM_TIMER, OnTimer)
    END_MSG_MAP()

protected:
    HRESULT CreateEmbeddedControls() noexcept override
    {
        return failEmbedding ? kEmbedFailure : S_OK;
    }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        initParam = lParam;
        ::SetTimer(m_hWnd, 1, 1, nullptr);
        return TRUE;
    }
    LRESULT OnProbe(UINT, WPARAM, LPARAM, BOOL&) { return kProbeResult; }
    LRESULT OnCtlColorStatic(UINT, WPARAM, LPARAM, BOOL&)
    {
        return reinterpret_cast<LRESULT>(brush);
    }
    LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&)
    {
        ::KillTimer(m_hWnd, 1);
        // A handled ordinary message: its result travels through DWLP_MSGRESULT.
        probeResult = ::SendMessageA(m_hWnd, WM_TEST_PROBE, 0, 0);
        // A handled WM_CTLCOLORSTATIC: the brush is the dialog procedure's own result.
        HDC hdc = ::GetDC(m_hWnd);
        ctlColorResult = ::SendMessageA(m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc),
                                        reinterpret_cast<LPARAM>(GetDlgItem(IDC_DELAY)));
        ::ReleaseDC(m_hWnd, hdc);
        unhandledResult = ::SendMessageA(m_hWnd, WM_TEST_UNHANDLED, 0, 0);
        EndDialog(kEndCode);
        return 0;
    }
};

class MissingTemplateDialog : public CAxDialogImpl<MissingTemplateDialog> {
public:
    enum { IDD = kMissingTemplate };
    BEGIN_MSG_MAP(MissingTemplateDialog)
    END_MSG_MAP()
};

TEST(DialogImpl, RunModalReturnsTheEndDialogCodeAndAppliesTheResultRules)
{
    ProbeDialog dlg;
    EXPECT_EQ(dlg.RunModal(nullptr, kInitParam), kEndCode);
    EXPECT_EQ(dlg.initParam, kInitParam);
    EXPECT_EQ(dlg.probeResult, kProbeResult);
    EXPECT_EQ(dlg.ctlColorResult, reinterpret_cast<LRESULT>(dlg.brush));
    EXPECT_EQ(dlg.unhandledResult, 0) << "an unhandled message goes to the dialog manager";
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "let go after the dialog ended";
}

TEST(DialogImpl, MissingTemplateGivesMinusOneWithTheLastErrorKept)
{
    MissingTemplateDialog dlg;
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(dlg.RunModal(nullptr, 0), -1);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(DialogImpl, FailedEmbeddingDestroysTheDialogAndSetsTheLastError)
{
    ProbeDialog dlg;
    dlg.failEmbedding = true;
    const INT_PTR result = dlg.RunModal(nullptr, 0);
    const DWORD error = ::GetLastError();
    EXPECT_LE(result, 0);
    EXPECT_EQ(error, static_cast<DWORD>(HRESULT_CODE(kEmbedFailure)));
    EXPECT_EQ(dlg.initParam, 0) << "the map never saw WM_INITDIALOG";
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(AnsiString, IndexRulesAndErrorCodes)
{
    const AnsiString s("abc");
    EXPECT_EQ(s.At(0), 'a');
    EXPECT_EQ(s.At(3), '\0') << "the index equal to the length gives the terminating zero";
    try {
        s.At(4);
        FAIL() << "no exception past the end";
    } catch (const AnsiStringError& e) {
        EXPECT_EQ(e.Code(), E_INVALIDARG);
    }
    EXPECT_THROW(s.At(-1), AnsiStringError);
    AnsiString copy = s;
    copy += "d";
    EXPECT_EQ(s, AnsiString("abc")) << "copies are independent values";
    EXPECT_EQ(copy, AnsiString("abcd"));
    EXPECT_EQ(AnsiString(nullptr).length(), 0u);
}

}  // namespace
