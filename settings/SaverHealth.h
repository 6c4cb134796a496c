#pragma once
#include "settings/PathList.h"
#include "settings/SaverHealthRecord.h"
#include "ui/UniqueRegKey.h"

#include <windows.h>

// Under the settings key: one REG_BINARY value per saver that has something to report,
// named by the saver's path as the Savers list stores it.
extern const char kSaverHealthSubKey[];
// At most this many records are kept; the oldest go first.
constexpr DWORD kMaxSaverHealthEntries = 1000;

// Whether a value name can be a saver's: a full path ("C:\..." or "\\server\...") that
// fits a path buffer.
bool IsSaverHealthName(const AnsiString& name);

// The records of the savers that misbehaved in run mode, in one opening of their key. A
// record is read strictly and only by its saver's name, so that values this program did
// not write, however many, change nothing.
class SaverHealth {
public:
    // Opens the records to read; with bWrite also to change them (the key is made with the
    // first record).
    explicit SaverHealth(bool bWrite);

    // The saver's record: false when there is none, when it is not one this program
    // wrote, or when the file has changed since (an updated saver starts afresh).
    bool Find(const AnsiString& path, SaverHealthRecord* pRecord) const;
    // Whether the saver failed too often in a row to be shown.
    bool IsLeftOut(const AnsiString& path) const;
    // The savers of the list that are not left out, in the list's order.
    PathList WithoutLeftOut(const PathList& savers) const;

    // One failed run of the saver: its record counts one more. A saver that could not be
    // started because it cannot be seen (its drive away) has failed at nothing.
    void NoteFailure(const AnsiString& path, SaverFault fault, bool bHasExitCode, DWORD dwExitCode);
    // A run that worked: the saver has nothing to report any more.
    void NoteGoodRun(const AnsiString& path);
    void Forget(const AnsiString& path);

    // The number of values under the key, whatever they are.
    DWORD GetEntryCount() const;
    // Drops values that are no record of an existing saver's file, then the oldest
    // records beyond kMaxSaverHealthEntries. The record of a saver of the selection that
    // cannot be seen now stays for when its drive is back.
    void Tidy(const PathList& selection);

private:
    // Marks the saver's record as a preview's fault, or takes the mark away.
    void SetPreviewMark(const AnsiString& path, bool bMark);

    UniqueRegKey m_key;
    bool m_bWrite;
};
