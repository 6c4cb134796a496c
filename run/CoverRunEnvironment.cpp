#include "run/CoverRunEnvironment.h"

#include "run/SSCoverWnd.h"
#include "settings/SSSettings.h"

namespace {

// How often the cover's queue is emptied while the stop's records are still on their way.
const DWORD kSwallowPollMs = 10;

}  // namespace

CoverRunEnvironment::CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept
    : m_cover(cover)
    , m_settings(settings)
{
    m_input.Install();
    m_cover.ListenForDisplayState();
    if (m_settings.GetFadeMs() != 0)
        m_fade.CreateFade(m_cover);
}

DWORD CoverRunEnvironment::GetTicks() { return ::GetTickCount(); }

bool CoverRunEnvironment::GetShowDesktop() { return m_settings.GetShowDesktop(); }

void CoverRunEnvironment::SetPaintDesktop(bool bDesktop) { m_cover.SetPaintDesktop(bDesktop); }

ChildSaver CoverRunEnvironment::StartChild(const AnsiString& path, const AnsiString& commandLine)
{
    return ChildSaver::Start(path.c_str(), commandLine);
}

DWORD CoverRunEnvironment::WaitForChild(ChildSaver& child, DWORD dwTimeoutMs)
{
    return child.WaitPumping(dwTimeoutMs, m_input.GetInputEvent());
}

bool CoverRunEnvironment::StopChild(ChildSaver& child)
{
    // Without the cover the stop's input would reach the user's own windows.
    if (!m_cover.IsWindow()) {
        child.Terminate();
        return false;
    }
    const ULONG nOwnRecords = m_input.GetOwnRecordCount();
    const bool bEnded = child.Stop();
    SwallowStopInput(m_input.GetSource() == UserInputWatch::Source::Hooks
                         ? nOwnRecords + child.GetStopRecordsSent()
                         : nOwnRecords);
    return bEnded;
}

// The records that the old saver did not take wait for whichever window takes input next;
// the next saver would end on them. The cover takes the foreground and the records, until
// the watch has seen them all, or for at most the grace.
void CoverRunEnvironment::SwallowStopInput(ULONG nOwnRecords)
{
    ::SetForegroundWindow(m_cover);
    const DWORD dwStart = ::GetTickCount();
    while (static_cast<LONG>(m_input.GetOwnRecordCount() - nOwnRecords) < 0 &&
           ::GetTickCount() - dwStart < kChildStopGraceMs) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kSwallowPollMs, QS_ALLINPUT);
        DispatchWaitingMessages();
    }
    DispatchWaitingMessages();
}

void CoverRunEnvironment::EndChild(ChildSaver& child) { child.Terminate(); }

bool CoverRunEnvironment::ForgetUserInput()
{
    m_input.Forget();
    return m_input.IsInstalled();
}

bool CoverRunEnvironment::HasUserInput() { return m_input.HasUserInput(); }

DWORD CoverRunEnvironment::GetUserInputTick() { return m_input.GetInputTick(); }

DisplayState CoverRunEnvironment::GetDisplayState() { return m_cover.GetDisplayState(); }

bool CoverRunEnvironment::CloseChild(ChildSaver& child) { return child.Close(); }

DWORD CoverRunEnvironment::WaitForMessages(DWORD dwTimeoutMs)
{
    // The input watch's thread tells of the user's input through its event.
    const HANDLE hInput = m_input.GetInputEvent();
    const DWORD nHandles = hInput != nullptr ? 1 : 0;
    const DWORD result =
        ::MsgWaitForMultipleObjects(nHandles, &hInput, FALSE, dwTimeoutMs, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 && result != WAIT_OBJECT_0 + nHandles)
        return result;
    DispatchWaitingMessages();
    return WAIT_OBJECT_0;
}

DWORD CoverRunEnvironment::GetFadeMs() { return m_fade.IsWindow() ? m_settings.GetFadeMs() : 0; }

void CoverRunEnvironment::SetFade(BYTE nAlpha) { m_fade.SetOpacity(nAlpha); }
