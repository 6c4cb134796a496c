#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

#include <vector>

// What went wrong the last time run mode showed a saver. The numbers are stored.
enum class SaverFault : DWORD {
    CouldNotStart = 1,  // no process could be made of the file
    Crashed = 2,  // it ended by itself soon after its start, with an exception code
    QuitAtOnce = 3,  // it ended by itself soon after its start, with an ordinary exit code
    IgnoredInput = 4,  // it did not end on the user's input and was ended
    // In a host it quit at once or showed a window of its own. Stored as QuitAtOnce with a
    // mark beside the record (SaverHealth), so that an older version reads the record.
    CannotPreview = 5,
};

// After this many failed runs in a row, run mode leaves a saver out of the show.
constexpr DWORD kLeaveOutAfterFailures = 3;
// The largest count of failed runs in a row that is stored; a larger one is no record of
// this program and is not trusted.
constexpr DWORD kMaxFailureCount = 1000;
// The stored size of a record: a REG_BINARY of exactly this many bytes.
constexpr size_t kSaverHealthRecordSize = 48;

// Whether an exit code is an exception code of the system (0xC0000005 and the like), the
// code of a process that crashed, rather than a number the program chose to end with.
bool IsExceptionExitCode(DWORD dwExitCode) noexcept;

// What run mode remembers of a saver that misbehaved: the last fault, how often in a row,
// when, its exit code, and which state of its file it was.
struct SaverHealthRecord {
    SaverFault m_fault = SaverFault::CouldNotStart;
    DWORD m_nFailedInRow = 0;  // failed runs in a row, whatever the fault
    DWORD m_nSameInRow = 0;  // of those, the last ones that had m_fault
    bool m_bHasExitCode = false;
    DWORD m_dwExitCode = 0;
    ULONGLONG m_ftWhen = 0;  // the last failure, UTC, in FILETIME units
    ULONGLONG m_nFileSize = 0;  // the file's size then, 0 when it could not be examined
    ULONGLONG m_ftFileWrite = 0;  // its last-write time then, 0 likewise

    // One more failed run, at ftNow.
    void AddFailure(SaverFault fault, bool bHasExitCode, DWORD dwExitCode, ULONGLONG ftNow);
    bool IsLeftOut() const noexcept { return m_nFailedInRow >= kLeaveOutAfterFailures; }
    // Takes the size and last-write time of the file as they are now.
    void StampFile(const AnsiString& path);
    // Whether the file is still the one that failed: same size, same last-write time.
    bool IsOfFile(const AnsiString& path) const;

    std::vector<BYTE> ToBytes() const;
    // Exactly what ToBytes writes, or false: another size, an unknown format or fault, a
    // count out of range, an exit code without its flag.
    static bool FromBytes(const BYTE* pData, size_t cbData, SaverHealthRecord* pRecord);
};
