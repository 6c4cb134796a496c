#include "settings/StoredLists.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"

const char kFoldersSubKey[] = "Folders";
const char kSaversSubKey[] = "Savers";
const char kFoldersNextSubKey[] = "FoldersNext";
const char kSaversNextSubKey[] = "SaversNext";
const char kListsNextValue[] = "ListsNext";

namespace {

constexpr char kFolderNameFormat[] = "%02u";
constexpr char kSaverNameFormat[] = "%03u";
constexpr DWORD kSwitchedOn = 1;
// Room for any unsigned number in decimal and its NUL.
constexpr size_t kValueNameBuffer = 16;

AnsiString SubKeyPath(const char* pszSubKey) { return AnsiString(kSettingsKey) + "\\" + pszSubKey; }

bool IsSwitched()
{
    DWORD dwType = REG_NONE;
    return RegGetValueType(kSettingsKey, kListsNextValue, &dwType);
}

// Counts the registry changes of one write and says when it is to stop.
class StepBudget {
public:
    explicit StepBudget(size_t nSteps) noexcept
        : m_nLeft(nSteps)
    {
    }
    bool Take() noexcept
    {
        if (m_nLeft == 0)
            return false;
        --m_nLeft;
        return true;
    }

private:
    size_t m_nLeft;
};

// The list under the key, whole: the old values go first.
bool WriteList(StepBudget& budget, const AnsiString& keyPath, const char* pszNameFormat,
               const PathList& list)
{
    if (!budget.Take())
        return false;
    RegDeleteKeyPath(keyPath);
    for (size_t i = 0; i < list.GetCount(); ++i) {
        char szName[kValueNameBuffer];
        ::wsprintfA(szName, pszNameFormat, static_cast<unsigned>(i));
        if (!budget.Take())
            return false;
        RegWriteString(keyPath, szName, list[i]);
    }
    return true;
}

}  // namespace

AnsiString StoredLists::FoldersKeyPath()
{
    return SubKeyPath(IsSwitched() ? kFoldersNextSubKey : kFoldersSubKey);
}

AnsiString StoredLists::SaversKeyPath()
{
    return SubKeyPath(IsSwitched() ? kSaversNextSubKey : kSaversSubKey);
}

bool StoredLists::Write(const PathList& folders, const PathList& savers, size_t nMaxSteps)
{
    StepBudget budget(nMaxSteps);
    const AnsiString foldersNext = SubKeyPath(kFoldersNextSubKey);
    const AnsiString saversNext = SubKeyPath(kSaversNextSubKey);
    // Switched already (a write stopped after its switch): the old names are no reader's,
    // and take the new lists directly.
    if (!IsSwitched()) {
        if (!WriteList(budget, foldersNext, kFolderNameFormat, folders) ||
            !WriteList(budget, saversNext, kSaverNameFormat, savers) || !budget.Take())
            return false;
        // Without the switch the new lists would be no reader's: the old names are
        // written over as the only way left.
        RegWriteDword(kSettingsKey, kListsNextValue, kSwitchedOn);
    }
    if (!WriteList(budget, SubKeyPath(kFoldersSubKey), kFolderNameFormat, folders) ||
        !WriteList(budget, SubKeyPath(kSaversSubKey), kSaverNameFormat, savers) || !budget.Take())
        return false;
    // Until the switch is gone its lists are the stored ones, so they stay while it does.
    if (!RegDeleteValuePath(kSettingsKey, kListsNextValue) || !budget.Take())
        return false;
    RegDeleteKeyPath(foldersNext);
    if (!budget.Take())
        return false;
    RegDeleteKeyPath(saversNext);
    return true;
}
