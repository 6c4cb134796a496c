// How fast the configuration dialog comes up filled with many savers, and how fast OK
// stores them, against the catalog search of the same savers in a process of its own (a
// process maps every file once; this one has mapped them all before the rounds).
//   bench_config.exe SCR FIXTURE_DIR [COUNT] [ROUNDS]
//   bench_config.exe search FOLDER        (the search alone in a process of its own)
// Makes COUNT saver copies in a folder of its own, stores that folder and every copy as
// selected in HKCU\Software\Brindlecraft\Quillmix (the real key of this Wine prefix; it
// is removed again at the end), searches once to warm the file cache, then per round
// measures:
//   search-p  a new process that runs FindSavers over the folder and exits (process
//             start included): the baseline of every ratio
//   search    the same search in this process, whose files are all mapped already
//   describe  GetSaverDescription of every saver found, likewise
//   load      SSSettings::Load with the 1,000 stored savers (each one tested again)
//   init      the dialog's WM_INITDIALOG in this process (attach, fill, sort, options)
//   ok        the dialog's OK in this process (read back the ticks, Save)
//   start     SCR /c started as a process until its dialog is visible with COUNT rows
//   empty     the same with an empty folder: the cost of a process and a dialog alone
//   close     BM_CLICK on the product's OK until its dialog is gone
// and prints the medians of the times and of the per-round ratios (the machine is shared,
// so each ratio compares times taken close together).
#include "config/SSConfigureDlg.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"
#include "ui/CAtlModule.h"

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class BenchModule : public CAtlExeModuleT<BenchModule> { };

const char kKey[] = "Software\\Brindlecraft\\Quillmix";
const char kDialogTitle[] = "Quillmix Configuration";
const char* const kSamples[] = {"SampleAurora.scr", "SampleTiles.scr", "SampleBounce.scr"};
const UINT WM_BENCH_OK = WM_APP + 1;

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void WriteList(const std::string& subkey, const char* format,
               const std::vector<std::string>& values)
{
    const std::string path = std::string(kKey) + "\\" + subkey;
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    HKEY hKey = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &hKey, nullptr);
    for (size_t i = 0; i < values.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), format, static_cast<unsigned>(i));
        ::RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(values[i].c_str()),
                         static_cast<DWORD>(values[i].size() + 1));
    }
    ::RegCloseKey(hKey);
}

DWORD CountSavers()
{
    HKEY hKey = nullptr;
    DWORD count = 0;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Savers").c_str(), 0, KEY_READ,
                        &hKey) == ERROR_SUCCESS) {
        ::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           nullptr, nullptr, nullptr, nullptr);
        ::RegCloseKey(hKey);
    }
    return count;
}

// The dialog with stopwatches: the initialisation, then OK, then it ends.
class TimedDialog : public SSConfigureDlg {
public:
    explicit TimedDialog(SSSettings& settings)
        : SSConfigureDlg(settings)
    {
    }

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override
    {
        if (uMsg == WM_BENCH_OK) {
            const double t0 = Now();
            ::SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            okSeconds = Now() - t0;
            return TRUE;
        }
        const double t0 = Now();
        const BOOL handled =
            SSConfigureDlg::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID);
        if (uMsg == WM_INITDIALOG) {
            initSeconds = Now() - t0;
            rows = static_cast<int>(
                ::SendDlgItemMessageA(hWnd, IDC_SAVER_LIST, LVM_GETITEMCOUNT, 0, 0));
            ::PostMessageA(hWnd, WM_BENCH_OK, 0, 0);
        }
        return handled;
    }

    double initSeconds = 0;
    double okSeconds = 0;
    int rows = 0;
};

// Starts "SCR /c", waits until its dialog is visible with the rows; seconds, or -1.
double StartProduct(const std::string& scr, int rows, PROCESS_INFORMATION* pi)
{
    std::string cmd = "\"" + scr + "\" /c";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    const double t0 = Now();
    if (!::CreateProcessA(scr.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          pi))
        return -1;
    for (;;) {
        HWND hWnd = ::FindWindowA("#32770", kDialogTitle);
        if (hWnd != nullptr && ::IsWindowVisible(hWnd) &&
            ::SendDlgItemMessageA(hWnd, IDC_SAVER_LIST, LVM_GETITEMCOUNT, 0, 0) == rows)
            return Now() - t0;
        if (::WaitForSingleObject(pi->hProcess, 1) == WAIT_OBJECT_0)
            return -1;
    }
}

// BM_CLICK on the product's OK until its dialog is gone; seconds.
double CloseProduct(const PROCESS_INFORMATION& pi)
{
    HWND hWnd = ::FindWindowA("#32770", kDialogTitle);
    const double t0 = Now();
    ::PostMessageA(::GetDlgItem(hWnd, IDOK), BM_CLICK, 0, 0);
    while (::IsWindow(hWnd))
        ::Sleep(1);
    const double seconds = Now() - t0;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_config SCR FIXTURE_DIR [COUNT] [ROUNDS]\n");
        return 2;
    }
    if (std::string(argv[1]) == "search") {
        PathList found;
        PathList folders;
        folders.Add(argv[2]);
        FindSavers(found, folders, false);
        return found.IsEmpty() ? 1 : 0;
    }
    BenchModule module;
    ::InitCommonControls();
    const std::string scr = argv[1];
    const std::string fixtures = argv[2];
    const int count = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;

    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "QuillmixBench" + std::to_string(::GetCurrentProcessId());
    const std::string empty = folder + "Empty";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::CreateDirectoryA(empty.c_str(), nullptr);
    std::vector<std::string> savers;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "\\Saver%04d.scr", i);
        savers.push_back(folder + name);
        ::CopyFileA((fixtures + "\\" + kSamples[i % 3]).c_str(), savers.back().c_str(), FALSE);
    }

    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    PathList folders;
    folders.Add(folder.c_str());
    PathList warm;
    FindSavers(warm, folders, false);

    std::vector<double> search, searchProcess, describe, load, init, ok, start, emptyStart, close;
    std::vector<double> startRatio, initRatio, okRatio, closeRatio;
    bool good = true;
    for (int round = 0; round < rounds && good; ++round) {
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
        WriteList("Folders", "%02u", {folder});
        WriteList("Savers", "%03u", savers);

        PathList found;
        double t0 = Now();
        FindSavers(found, folders, false);
        search.push_back(Now() - t0);
        good = good && found.GetCount() == static_cast<size_t>(count);

        t0 = Now();
        for (const AnsiString& path : found)
            GetSaverDescription(path);
        describe.push_back(Now() - t0);

        std::string cmd = "\"" + std::string(self) + "\" search \"" + folder + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION searcher = {};
        t0 = Now();
        if (::CreateProcessA(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                             &searcher)) {
            ::WaitForSingleObject(searcher.hProcess, INFINITE);
            searchProcess.push_back(Now() - t0);
            ::CloseHandle(searcher.hProcess);
            ::CloseHandle(searcher.hThread);
        }

        SSSettings settings;
        t0 = Now();
        settings.Load();
        load.push_back(Now() - t0);
        TimedDialog dlg(settings);
        dlg.RunModal(nullptr, 0);
        init.push_back(dlg.initSeconds);
        ok.push_back(dlg.okSeconds);
        good = good && dlg.rows == count && CountSavers() == static_cast<DWORD>(count);

        PROCESS_INFORMATION pi = {};
        const double seconds = StartProduct(scr, count, &pi);
        good = good && seconds >= 0;
        if (seconds < 0)
            break;
        start.push_back(seconds);
        close.push_back(CloseProduct(pi));
        if (searchProcess.size() == start.size()) {
            const double baseline = searchProcess.back();
            initRatio.push_back(init.back() / baseline);
            okRatio.push_back(ok.back() / baseline);
            startRatio.push_back(start.back() / baseline);
            closeRatio.push_back(close.back() / baseline);
        }
        good = good && CountSavers() == static_cast<DWORD>(count);

        WriteList("Folders", "%02u", {empty});
        WriteList("Savers", "%03u", {});
        const double emptySeconds = StartProduct(scr, 0, &pi);
        if (emptySeconds >= 0) {
            emptyStart.push_back(emptySeconds);
            CloseProduct(pi);
        }
    }

    ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
    for (const std::string& saver : savers)
        ::DeleteFileA(saver.c_str());
    ::RemoveDirectoryA(folder.c_str());
    ::RemoveDirectoryA(empty.c_str());
    if (!good) {
        std::fprintf(stderr, "bench_config: the dialog did not list or store %d savers\n", count);
        return 1;
    }

    std::printf("savers: %d, rounds: %d (medians; ratio = median of the rounds' ratios to the "
                "search in a process of its own)\n",
                count, rounds);
    std::printf("search in a process of its own     %8.1f ms\n", Median(searchProcess) * 1000);
    std::printf("search again, files mapped before  %8.1f ms\n", Median(search) * 1000);
    std::printf("descriptions again, likewise       %8.1f ms\n", Median(describe) * 1000);
    std::printf("settings Load, %5d stored        %8.1f ms\n", count, Median(load) * 1000);
    std::printf("dialog init, in process            %8.1f ms  %.2f x search\n", Median(init) * 1000,
                Median(initRatio));
    std::printf("Quillmix.scr /c until shown        %8.1f ms  %.2f x search (goal <= 1.5)\n",
                Median(start) * 1000, Median(startRatio));
    std::printf("  the same with no saver           %8.1f ms\n", Median(emptyStart) * 1000);
    std::printf("OK, in process (read back, Save)   %8.1f ms  %.2f x search\n", Median(ok) * 1000,
                Median(okRatio));
    std::printf("OK in Quillmix.scr until it closes %8.1f ms  %.2f x search\n",
                Median(close) * 1000, Median(closeRatio));
    return 0;
}
