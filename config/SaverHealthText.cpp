#include "config/SaverHealthText.h"

#include <windows.h>

#include <string>
#include <utility>

namespace {

// Room for a date or a time in the user's format, and for a formatted number.
constexpr int kDateTimeBuffer = 80;
constexpr size_t kNumberBuffer = 32;

// What happened, as the first words of the status ("Crashed") and inside a sentence
// ("crashed").
const char* FaultWords(SaverFault fault) noexcept
{
    switch (fault) {
    case SaverFault::CouldNotStart:
        return "Could not start";
    case SaverFault::Crashed:
        return "Crashed";
    case SaverFault::QuitAtOnce:
        return "Quit at once";
    case SaverFault::IgnoredInput:
        return "Ignored the mouse and keyboard";
    case SaverFault::CannotPreview:
        return "Cannot preview";
    }
    return "Failed";
}

AnsiString LowerFirst(const char* pszWords)
{
    std::string text(pszWords);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return AnsiString(std::move(text));
}

AnsiString Number(DWORD n)
{
    char sz[kNumberBuffer];
    ::wsprintfA(sz, "%lu", static_cast<unsigned long>(n));
    return AnsiString(sz);
}

AnsiString Times(DWORD n) { return n == 1 ? AnsiString("once") : Number(n) + " times"; }

// The time of the record in the user's time zone and formats.
AnsiString WhenText(ULONGLONG ftWhen)
{
    FILETIME ft = {static_cast<DWORD>(ftWhen), static_cast<DWORD>(ftWhen >> 32)};
    SYSTEMTIME utc = {};
    SYSTEMTIME local = {};
    if (!::FileTimeToSystemTime(&ft, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return AnsiString();
    char szDate[kDateTimeBuffer] = {};
    char szTime[kDateTimeBuffer] = {};
    if (::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, szDate,
                         kDateTimeBuffer) == 0 ||
        ::GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, szTime,
                         kDateTimeBuffer) == 0)
        return AnsiString();
    return AnsiString(szDate) + " " + szTime;
}

AnsiString ExitCodeText(const SaverHealthRecord& record)
{
    if (!record.m_bHasExitCode)
        return AnsiString();
    char sz[kNumberBuffer];
    if (IsExceptionExitCode(record.m_dwExitCode))
        ::wsprintfA(sz, "0x%08lX", static_cast<unsigned long>(record.m_dwExitCode));
    else
        ::wsprintfA(sz, "%lu", static_cast<unsigned long>(record.m_dwExitCode));
    return AnsiString(" Exit code ") + sz + ".";
}

}  // namespace

AnsiString SaverStatusText(const SaverHealthRecord& record)
{
    if (record.IsLeftOut()) {
        // The failures in a row may not all have been of one kind.
        const AnsiString what = record.m_nSameInRow == record.m_nFailedInRow
            ? LowerFirst(FaultWords(record.m_fault))
            : AnsiString("failed");
        return "Left out: " + what + " " + Number(record.m_nFailedInRow) + " times in a row";
    }
    AnsiString words(FaultWords(record.m_fault));
    if (record.m_nSameInRow == 1)
        return words;
    return words + " (" + Number(record.m_nSameInRow) + " times)";
}

AnsiString SaverDetailsText(const SaverHealthRecord& record)
{
    AnsiString text = AnsiString("Last run");
    const AnsiString when = WhenText(record.m_ftWhen);
    if (!when.empty())
        text += " " + when;
    text += ": " + LowerFirst(FaultWords(record.m_fault)) + ".";
    text += ExitCodeText(record);
    text += " Failed " + Times(record.m_nFailedInRow) + " in a row";
    if (record.IsLeftOut())
        return text + "; left out of the show until its file changes or you try it with Preview.";
    return text + "; the show passed over it. After " + Number(kLeaveOutAfterFailures) +
        " failures in a row it is left out.";
}

AnsiString SaverAwayStatusText() { return AnsiString("Not found"); }

AnsiString SaverAwayDetailsText(const AnsiString& path)
{
    return "Not found: " + path +
        ". Its drive or folder may be away; it stays selected until you clear its box and "
        "press OK.";
}
