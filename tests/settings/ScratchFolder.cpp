#include "tests/settings/ScratchFolder.h"

#include "settings/NativePath.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace settingstest {

namespace {

// Long paths need the wide functions with the "\\?\" prefix; ANSI text here is ASCII.
std::wstring LongPathW(const std::string& path)
{
    std::wstring wide(L"\\\\?\\");
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> buffer(cch > 0 ? cch : 1);
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, buffer.data(), cch);
    wide += buffer.data();
    return wide;
}

void RemoveTreeW(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link goes, what it points to stays. Wine removes a Unix link with DeleteFile.
        if (!::RemoveDirectoryW(path.c_str()))
            ::DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                RemoveTreeW(path + L"\\" + name);
        } while (::FindNextFileW(hFind, &data));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(path.c_str());
}

void MakeParents(const std::string& path)
{
    for (size_t n = path.find('\\', 3); n != std::string::npos; n = path.find('\\', n + 1))
        ::CreateDirectoryA(path.substr(0, n).c_str(), nullptr);
}

}  // namespace

ScratchFolder::ScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    char temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        throw std::runtime_error("no temporary directory");
    m_path = std::string(temp) + "QuillmixSettings" + std::to_string(::GetCurrentProcessId()) +
        "_" + std::to_string(counter++);
    RemoveTree(m_path);
    if (!::CreateDirectoryA(m_path.c_str(), nullptr))
        throw std::runtime_error("cannot make the scratch folder " + m_path);
}

ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

std::string ScratchFolder::PathOf(const std::string& relative) const
{
    return m_path + "\\" + relative;
}

std::string ScratchFolder::MakeFolder(const std::string& relative) const
{
    const std::string path = PathOf(relative);
    MakeParents(path);
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("cannot make the folder " + path);
    return path;
}

std::string ScratchFolder::CopyIn(const std::string& source, const std::string& relative) const
{
    const std::string path = PathOf(relative);
    MakeParents(path);
    if (!::CopyFileA(source.c_str(), path.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + source + " to " + path);
    return path;
}

std::string ScratchFolder::WriteText(const std::string& relative, const std::string& text) const
{
    const std::string path = PathOf(relative);
    MakeParents(path);
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    ::WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(hFile);
    return path;
}

void RemoveTree(const std::string& path) { RemoveTreeW(LongPathW(path)); }

bool MakeLongFolder(const std::string& path)
{
    return ::CreateDirectoryW(LongPathW(path).c_str(), nullptr) != FALSE;
}

bool CopyToLongPath(const std::string& source, const std::string& target)
{
    return ::CopyFileW(LongPathW(source).c_str(), LongPathW(target).c_str(), FALSE) != FALSE;
}

namespace {

// Up to a minute for "ln" to have run on a loaded machine.
constexpr int kLinkPolls = 3000;
constexpr DWORD kLinkPollMs = 20;

bool IsLink(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine's own export that gives the Unix name of a Windows path (freed from the process heap).
std::string UnixPathOf(const std::string& path)
{
    using WineGetUnixFileName = char*(CDECL*)(const wchar_t*);
    const auto pfn = reinterpret_cast<WineGetUnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (pfn == nullptr)
        return std::string();
    const std::wstring wide = LongPathW(path).substr(4);
    char* unixPath = pfn(wide.c_str());
    if (unixPath == nullptr)
        return std::string();
    std::string result(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

}  // namespace

bool MakeFolderLink(const std::string& linkPath, const std::string& target)
{
    if (::CreateSymbolicLinkA(linkPath.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        IsLink(linkPath))
        return true;
    // Under Wine: run the Unix "ln" (Wine starts Unix programs given by a Unix-side path).
    const std::string unixLink = UnixPathOf(linkPath);
    const std::string unixTarget = UnixPathOf(target);
    if (unixLink.empty() || unixTarget.empty())
        return false;
    std::string commandLine = "ln -s \"" + unixTarget + "\" \"" + unixLink + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA("Z:\\bin\\ln", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    // Wine does not wait for a Unix program: its process handle is signalled at once. The
    // link is there when "ln" has run; a setup step, so it may take as long as it takes.
    for (int attempt = 0; attempt < kLinkPolls; ++attempt) {
        if (IsLink(linkPath))
            return true;
        ::Sleep(kLinkPollMs);
    }
    return false;
}

std::string LowerWindowsDirectory()
{
    char dir[MAX_PATH] = {};
    ::GetWindowsDirectoryA(dir, MAX_PATH);
    ::CharLowerA(dir);
    return dir;
}

std::string LowerSystemDirectory()
{
    char dir[MAX_PATH] = {};
    ::GetSystemDirectoryA(dir, MAX_PATH);
    ::CharLowerA(dir);
    return dir;
}

SystemFolderSavers::SystemFolderSavers(const std::string& prefix,
                                       const std::vector<std::string>& fixtureFiles)
{
    for (const std::string& file : fixtureFiles) {
        // Into the folder the catalog searches: under WOW64 the real System32.
        const std::string target = LowerSystemDirectory() + "\\" + prefix + file;
        if (::CopyFileA(FixturePath(file).c_str(), NativePath(target).c_str(), FALSE))
            m_paths.push_back(target);
    }
}

SystemFolderSavers::~SystemFolderSavers()
{
    for (const std::string& path : m_paths)
        ::DeleteFileA(NativePath(path).c_str());
}

std::string ThisProgramPath()
{
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

}  // namespace settingstest
