#include "tests/app/ChildTestSupport.h"

#include "tests/fixtures/FixtureNames.h"

#include <stdexcept>

namespace apptest {

namespace {

std::string TempFolder()
{
    char buf[MAX_PATH] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH, buf);
    std::string path(buf, n < MAX_PATH ? n : 0);
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

void RemoveFolderWithFiles(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderWithFiles(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(find, &fd));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* text;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != search->processId || !::IsWindowVisible(hWnd))
        return TRUE;
    char buf[256] = {};
    if (search->className != nullptr) {
        ::GetClassNameA(hWnd, buf, sizeof(buf));
        if (std::string(buf) != search->className)
            return TRUE;
    }
    if (search->text != nullptr) {
        ::GetWindowTextA(hWnd, buf, sizeof(buf));
        if (std::string(buf) != search->text)
            return TRUE;
    }
    search->found = hWnd;
    return FALSE;
}

void DispatchAll()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

const DWORD kPollMs = 20;

}  // namespace

ScratchDir::ScratchDir()
{
    static unsigned counter = 0;
    m_path = TempFolder() + "\\Quillmix app test " + std::to_string(::GetCurrentProcessId()) + " " +
        std::to_string(counter++);
    RemoveFolderWithFiles(m_path);
    if (!::CreateDirectoryA(m_path.c_str(), nullptr))
        throw std::runtime_error("cannot make " + m_path);
}

ScratchDir::~ScratchDir() { RemoveFolderWithFiles(m_path); }

std::string ScratchDir::CopyIn(const std::string& source, const std::string& name) const
{
    const std::string target = PathOf(name);
    return ::CopyFileA(source.c_str(), target.c_str(), FALSE) ? target : std::string();
}

RecordFile::RecordFile(const ScratchDir& dir)
    : m_path(dir.PathOf("record.txt"))
{
    ::SetEnvironmentVariableA(fixture::kRecordFileVariable, m_path.c_str());
}

RecordFile::~RecordFile() { ::SetEnvironmentVariableA(fixture::kRecordFileVariable, nullptr); }

std::vector<std::string> RecordFile::Lines() const
{
    std::vector<std::string> lines;
    HANDLE h = ::CreateFileA(m_path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lines;
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        text.append(buf, got);
    ::CloseHandle(h);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool RecordFile::Contains(const std::string& line) const
{
    for (const std::string& l : Lines())
        if (l == line)
            return true;
    return false;
}

bool PumpUntil(HANDLE hProcess, const std::function<bool()>& condition)
{
    for (;;) {
        DispatchAll();
        if (condition())
            return true;
        if (::MsgWaitForMultipleObjects(1, &hProcess, FALSE, kPollMs, QS_ALLINPUT) ==
            WAIT_OBJECT_0) {
            DispatchAll();
            return condition();
        }
    }
}

void PumpFor(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        DispatchAll();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
    DispatchAll();
}

HWND FindProcessWindow(DWORD processId, const char* className, const char* text)
{
    WindowSearch search = {processId, className, text, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool HasInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected)
{
    size_t next = 0;
    for (const std::string& line : lines) {
        if (next == expected.size())
            break;
        const std::string& want = expected[next];
        if (!want.empty() && want.back() == ' ' ? StartsWith(line, want) : line == want)
            ++next;
    }
    return next == expected.size();
}

bool StartsWith(const std::string& line, const std::string& prefix)
{
    return line.compare(0, prefix.size(), prefix) == 0;
}

DWORD ExitCodeOf(HANDLE hProcess)
{
    DWORD code = 0;
    return ::GetExitCodeProcess(hProcess, &code) ? code : 0xFFFFFFFFu;
}

}  // namespace apptest
