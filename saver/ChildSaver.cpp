#include "saver/ChildSaver.h"

#include "settings/NativePath.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace {

// How long a terminated child is given to be gone before the next one may start.
const DWORD kTerminateWaitMs = 2000;
// Process ids read from a job at once; a saver with more processes still ends whole, as
// each wait moves on to the next one that runs.
const DWORD kJobIdsAtOnce = 16;

// JOBOBJECT_BASIC_PROCESS_ID_LIST with room for kJobIdsAtOnce ids: the system's type has
// an array of one, which may not be read beyond its first element.
struct JobProcessIds {
    DWORD NumberOfAssignedProcesses;
    DWORD NumberOfProcessIdsInList;
    ULONG_PTR ProcessIdList[kJobIdsAtOnce];
};
static_assert(offsetof(JobProcessIds, ProcessIdList) ==
                  offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList),
              "the id list must lie where the system writes it");

// Whether the job of this process (if any) lets a child be started outside it.
bool OuterJobAllowsBreakaway()
{
    BOOL bInJob = FALSE;
    if (!::IsProcessInJob(::GetCurrentProcess(), nullptr, &bInJob) || !bInJob)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
    return ::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &info,
                                       sizeof(info), nullptr) &&
        (info.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0;
}

// What is left of dwTotalMs since dwStart, 0 once it is over; right across the tick wrap.
DWORD TimeLeftSince(DWORD dwStart, DWORD dwTotalMs)
{
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    return dwElapsed >= dwTotalMs ? 0 : dwTotalMs - dwElapsed;
}

// CreateProcessA as both kinds of child are started: the application name on its own, the
// command line unquoted, handles inherited.
bool CreateSaverProcess(const char* pszApplicationName, const AnsiString& commandLine,
                        DWORD dwCreationFlags, PROCESS_INFORMATION* pi)
{
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> cmd(commandLine.c_str(), commandLine.c_str() + commandLine.length() + 1);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    *pi = PROCESS_INFORMATION{};
    // The file is reached by its native path; the command line keeps the path as stored,
    // which is how a 64-bit saver sees itself.
    const AnsiString application =
        pszApplicationName != nullptr ? NativePath(pszApplicationName) : AnsiString();
    return ::CreateProcessA(pszApplicationName != nullptr ? application.c_str() : nullptr,
                            cmd.data(), nullptr, nullptr, TRUE, dwCreationFlags, nullptr, nullptr,
                            &si, pi) != FALSE;
}

// Waits for the process while answering the messages sent to this thread, which is how
// the system calls a low-level hook of it: a hook left unanswered for long is dropped.
// Posted messages stay queued until the stop is over.
DWORD WaitAnsweringSentMessages(HANDLE hProcess, DWORD dwTimeoutMs)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        const DWORD result = ::MsgWaitForMultipleObjects(
            1, &hProcess, FALSE, TimeLeftSince(dwStart, dwTimeoutMs), QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            return result;
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

UniqueJob MakeSaverJob()
{
    UniqueJob job(::CreateJobObjectA(nullptr, nullptr));
    if (!job)
        return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
    // The saver's processes end with the last handle of the job, so also with this
    // process; and a crash ends the crashing process at once, with no error report
    // waiting under the cover for somebody to close it.
    info.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &info,
                                   sizeof(info)))
        job.reset();
    return job;
}

// The processes that a job holds, as many as kJobIdsAtOnce; none when it cannot be read.
std::vector<DWORD> ReadJobProcessIds(HANDLE hJob)
{
    JobProcessIds ids = {};
    ids.NumberOfAssignedProcesses = kJobIdsAtOnce;
    // More processes than there is room for still fill the room (ERROR_MORE_DATA).
    if (!::QueryInformationJobObject(hJob, JobObjectBasicProcessIdList, &ids, sizeof(ids),
                                     nullptr) &&
        ::GetLastError() != ERROR_MORE_DATA)
        return {};
    const DWORD n = std::min<DWORD>(ids.NumberOfProcessIdsInList, kJobIdsAtOnce);
    std::vector<DWORD> found;
    for (DWORD i = 0; i < n; ++i)
        found.push_back(static_cast<DWORD>(ids.ProcessIdList[i]));
    return found;
}

// The processes whose windows a close reaches, and how many windows it reached.
struct CloseTarget {
    std::vector<DWORD> ids;
    UINT nPosted = 0;
};

// EnumWindows callback: WM_CLOSE to a visible window of one of the target's processes,
// as the task list's End task asks a program to end.
BOOL CALLBACK PostCloseToWindowOf(HWND hWnd, LPARAM lParam)
{
    auto& target = *reinterpret_cast<CloseTarget*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (::IsWindowVisible(hWnd) &&
        std::find(target.ids.begin(), target.ids.end(), pid) != target.ids.end() &&
        ::PostMessageA(hWnd, WM_CLOSE, 0, 0))
        ++target.nPosted;
    return TRUE;
}

// WM_CLOSE to the visible top-level windows of the processes; how many it reached.
UINT PostCloseToWindowsOf(std::vector<DWORD> ids)
{
    CloseTarget target{std::move(ids)};
    ::EnumWindows(PostCloseToWindowOf, reinterpret_cast<LPARAM>(&target));
    return target.nPosted;
}

// Its delivery wakes the saver's wait, which then looks whether a crash handler holds it.
void CALLBACK WakeOnWindowShown(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { }

}  // namespace

UniqueHandle StartChildSaver(const char* pszApplicationName, const AnsiString& commandLine)
{
    PROCESS_INFORMATION pi;
    if (!CreateSaverProcess(pszApplicationName, commandLine, 0, &pi))
        return UniqueHandle();
    ::CloseHandle(pi.hThread);
    return UniqueHandle(pi.hProcess);
}

void DispatchWaitingMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

DWORD WaitForChildPumping(HANDLE hProcess, DWORD dwTimeoutMs)
{
    const DWORD result = ::MsgWaitForMultipleObjects(1, &hProcess, FALSE, dwTimeoutMs, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + 1)
        DispatchWaitingMessages();
    return result;
}

DWORD WaitForChildPumpingUntilEnd(HANDLE hProcess)
{
    DWORD result;
    do {
        result = WaitForChildPumping(hProcess, INFINITE);
    } while (result == WAIT_OBJECT_0 + 1);
    return result;
}

bool StopChildSaver(HANDLE hProcess)
{
    // Without a child the input would reach whatever the user has on the screen.
    if (hProcess == nullptr)
        return false;
    if (::WaitForSingleObject(hProcess, 0) != WAIT_TIMEOUT)
        return true;
    // A child with no window to close would only let the grace pass.
    if (PostCloseToWindowsOf({::GetProcessId(hProcess)}) != 0 &&
        WaitAnsweringSentMessages(hProcess, kChildStopGraceMs) == WAIT_OBJECT_0)
        return true;
    ::TerminateProcess(hProcess, 0);
    // Termination is asynchronous; two savers must never run at once.
    WaitAnsweringSentMessages(hProcess, kTerminateWaitMs);
    return false;
}

ChildSaver ChildSaver::Start(const char* pszApplicationName, const AnsiString& commandLine)
{
    PROCESS_INFORMATION pi;
    if (!CreateSaverProcess(pszApplicationName, commandLine, CREATE_SUSPENDED, &pi))
        return ChildSaver();
    UniqueHandle thread(pi.hThread);
    ChildSaver saver{UniqueHandle(pi.hProcess)};
    saver.m_job = MakeSaverJob();
    // Windows before 8 forbids a second job for a process that is in one already, and a
    // host's job may forbid nesting. Where that job lets a child leave it, the saver starts
    // again outside it (the first start has not run an instruction of the saver); else it
    // runs as a plain process.
    if (saver.m_job && !::AssignProcessToJobObject(saver.m_job.get(), saver.Process())) {
        bool bJoined = false;
        if (OuterJobAllowsBreakaway() &&
            CreateSaverProcess(pszApplicationName, commandLine,
                               CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, &pi)) {
            ::TerminateProcess(saver.Process(), 0);
            thread.reset(pi.hThread);
            saver.m_process.reset(pi.hProcess);
            bJoined = ::AssignProcessToJobObject(saver.m_job.get(), saver.Process()) != FALSE;
        }
        if (!bJoined)
            saver.m_job.reset();
    }
    saver.m_showHook.reset(::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr,
                                             WakeOnWindowShown, 0, 0,
                                             WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        saver.Terminate();
        return ChildSaver();
    }
    return saver;
}

bool ChildSaver::WatchNextProcess()
{
    if (!m_job)
        return false;
    for (const DWORD id : ReadJobProcessIds(m_job.get())) {
        // Wine's IsProcessInJob wants PROCESS_QUERY_INFORMATION; the limited right is
        // enough on Windows.
        UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id));
        BOOL bInJob = TRUE;
        // An id may have been given to another process since it was read; a check that
        // cannot be made keeps the process, so that no process of the saver is lost.
        if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
            (!::IsProcessInJob(process.get(), m_job.get(), &bInJob) || bInJob)) {
            m_process = std::move(process);
            return true;
        }
    }
    return false;
}

DWORD ChildSaver::WaitPumping(DWORD dwTimeoutMs, HANDLE hWake)
{
    DWORD result;
    if (hWake == nullptr) {
        result = WaitForChildPumping(m_process.get(), dwTimeoutMs);
    } else {
        const HANDLE handles[] = {m_process.get(), hWake};
        result = ::MsgWaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE, dwTimeoutMs,
                                             QS_ALLINPUT);
        if (result == WAIT_OBJECT_0 + ARRAYSIZE(handles)) {
            DispatchWaitingMessages();
            result = WAIT_OBJECT_0 + 1;
        }
    }
    if (result == WAIT_OBJECT_0 && WatchNextProcess())
        return WAIT_OBJECT_0 + 1;
    if (result == WAIT_OBJECT_0 + 1 && IsHeldByDebugger()) {
        Terminate(kHeldCrashExitCode);
        return WAIT_OBJECT_0;
    }
    return result;
}

bool ChildSaver::IsHeldByDebugger() const
{
    BOOL bDebugged = FALSE;
    return m_process && ::CheckRemoteDebuggerPresent(m_process.get(), &bDebugged) && bDebugged;
}

bool ChildSaver::IsRunning()
{
    return m_process &&
        (::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT || WatchNextProcess());
}

bool ChildSaver::Stop()
{
    if (!m_process)
        return false;
    if (!IsRunning())
        return true;
    std::vector<DWORD> ids = m_job ? ReadJobProcessIds(m_job.get()) : std::vector<DWORD>();
    if (ids.empty())
        ids.push_back(::GetProcessId(m_process.get()));
    // A saver with no window to close would only let the grace pass.
    if (PostCloseToWindowsOf(std::move(ids)) == 0) {
        Terminate();
        return false;
    }
    return EndWithinGrace();
}

bool ChildSaver::EndWithinGrace()
{
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        if (WaitAnsweringSentMessages(m_process.get(), TimeLeftSince(dwStart, kChildStopGraceMs)) !=
            WAIT_OBJECT_0)
            break;
        if (!WatchNextProcess())
            return true;
    }
    Terminate();
    return false;
}

void ChildSaver::Terminate(UINT uExitCode)
{
    if (!m_process)
        return;
    if (m_job)
        ::TerminateJobObject(m_job.get(), uExitCode);
    else
        ::TerminateProcess(m_process.get(), uExitCode);
    // Termination is asynchronous; two savers must never run at once.
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        if (WaitAnsweringSentMessages(m_process.get(), TimeLeftSince(dwStart, kTerminateWaitMs)) !=
                WAIT_OBJECT_0 ||
            !WatchNextProcess())
            return;
    }
}
