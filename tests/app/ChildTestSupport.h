// Helpers of the tests that start real child processes: record files, scratch folders,
// waiting with this thread's messages dispatched, and finding a process's windows.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace apptest {

// A folder of its own under the Windows temporary directory (its name has blanks in it),
// removed with its files when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();

    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "\\" + name; }
    // Copies a file in under a new name; returns its full path ("" when it failed).
    std::string CopyIn(const std::string& source, const std::string& name) const;

private:
    std::string m_path;
};

// The Recorder's record file: named in this process's environment (so children get it)
// while the object lives; the variable is removed afterwards.
class RecordFile {
public:
    explicit RecordFile(const ScratchDir& dir);
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();

    const std::string& Path() const { return m_path; }
    // The lines written so far, without their line ends.
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& line) const;

private:
    std::string m_path;
};

// Waits for the condition, dispatching this thread's messages meanwhile; false when the
// process ended first. There is no time limit of its own: CTest's catches a hang.
bool PumpUntil(HANDLE hProcess, const std::function<bool()>& condition);

// Dispatches this thread's messages for about the given time.
void PumpFor(DWORD ms);

// A visible top-level window of the process with that class and text (nullptr: any).
HWND FindProcessWindow(DWORD processId, const char* className, const char* text);

// True when lines holds every one of expected, in that order (other lines may be between);
// an expected entry that ends in a blank matches every line that begins with it.
bool HasInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected);

// True when line begins with prefix.
bool StartsWith(const std::string& line, const std::string& prefix);

// The exit code of an ended process (STILL_ACTIVE while it runs).
DWORD ExitCodeOf(HANDLE hProcess);

}  // namespace apptest
