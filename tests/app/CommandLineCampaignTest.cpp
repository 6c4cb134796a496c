// A seeded corpus of command lines, each given to the built Quillmix.scr in a process of its
// own: every line ends in exactly the mode that ChooseMode names for it, with exit code 0.
// The default run is a short corpus; QUILLMIX_CMDLINE_LINES selects a larger one.
#include "app/CommandLine.h"
#include "saver/ChildSaver.h"

#include "tests/app/ChildTestSupport.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>

using namespace apptest;

namespace {

const char kDialogClass[] = "#32770";
const char kDialogTitle[] = "Quillmix Configuration";
const char kCoverText[] = "Quillmix";
const char kPreviewText[] = "QuillmixPreview";
const char kHostClass[] = "QuillmixCampaignHost";

const char kLinesVariable[] = "QUILLMIX_CMDLINE_LINES";
const int kDefaultLines = 60;
const uint32_t kSeed = 20261208u;

// Turns a hang into a failure; no line comes near it.
const DWORD kHangGuardMs = 60000;
const DWORD kPollMs = 20;
// Between two injected key presses while the black cover waits for the user.
const DWORD kInputPauseMs = 300;
const int kStartAttempts = 3;

// CreateProcessA takes at most 32767 characters, the product path and a blank included.
const size_t kCommandLineLimit = 32767;
const size_t kLongLineMin = 10000;
const size_t kLongLineMax = 30000;

// Lead bytes of the double-byte code pages (932 and others) that may end a line.
const int kLeadByteFirst = 0x81;
const int kLeadByteLast = 0x9F;

const char kSettingsKey[] = "Software\\Brindlecraft\\Quillmix";
const char kSaversKey[] = "Software\\Brindlecraft\\Quillmix\\Savers";
const char kMissingSaver[] = "C:\\Quillmix campaign\\no such saver.scr";

enum class LineClass { Switches, Handles, NonAscii, Long, Empty, Junk, RealHost, RealOwner };
const char* const kClassNames[] = {"switches", "handles", "non-ASCII", "long",
                                   "empty",    "junk",    "real host", "real owner"};
const int kClassCount = 8;

// Generated classes in the order they take turns; the two with a real window of this test
// come at fixed places of every 30 lines.
const LineClass kRotation[] = {LineClass::Switches, LineClass::Handles,  LineClass::NonAscii,
                               LineClass::Junk,     LineClass::Handles,  LineClass::Switches,
                               LineClass::Long,     LineClass::NonAscii, LineClass::Handles,
                               LineClass::Empty};
const int kRealEvery = 30;
const int kRealHostAt = 7;
const int kRealOwnerAt = 22;

const char* ModeName(SaverMode mode)
{
    switch (mode) {
    case SaverMode::Run:
        return "run";
    case SaverMode::Preview:
        return "preview";
    default:
        return "configure";
    }
}

// The line as a test message can show it: control and high bytes as \xNN, long ones cut.
std::string Printable(const std::string& line)
{
    const size_t kShown = 100;
    std::string out;
    for (size_t i = 0; i < line.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof(buf), "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (line.size() > kShown)
        out += "... (" + std::to_string(line.size()) + " bytes)";
    return '"' + out + '"';
}

// CreateProcessA hands the line on as UTF-16 and the child's ANSI copy is converted back:
// the product sees this text. In a single-byte code page it is the line itself; in a
// double-byte one a lead byte without its trail byte may not survive the trip.
std::string AsDelivered(const std::string& line)
{
    if (line.empty())
        return line;
    const int n = static_cast<int>(line.size());
    std::wstring wide(static_cast<size_t>(n), L'\0');
    const int wn = ::MultiByteToWideChar(CP_ACP, 0, line.data(), n, &wide[0], n);
    std::string back(static_cast<size_t>(wn) * 2 + 1, '\0');
    const int bn = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wn, &back[0],
                                         static_cast<int>(back.size()), nullptr, nullptr);
    back.resize(static_cast<size_t>(bn > 0 ? bn : 0));
    return back;
}

class CorpusGenerator {
public:
    explicit CorpusGenerator(uint32_t seed)
        : m_random(seed)
    {
    }

    // A line of the class. Real-window classes get a placeholder "#" for the handle.
    std::string Next(LineClass cls)
    {
        switch (cls) {
        case LineClass::Switches:
            return Switches();
        case LineClass::Handles:
            return Handles();
        case LineClass::NonAscii:
            return NonAscii();
        case LineClass::Long:
            return Long();
        case LineClass::Empty:
            return Empty();
        case LineClass::Junk:
            return Junk();
        case LineClass::RealHost:
            return Pick({"/p #", "-P #", "/l #", "-l    #", "/P # /c 5", "x-l# junk", "/p #:77"});
        default:
            return Pick({"/c #", "-C:#", "/c:#", "/a /c #", "/p 0 -c:# trailing"});
        }
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }
    bool Chance(int oneIn) { return Pick(1, oneIn) == 1; }
    const char* Pick(std::initializer_list<const char*> options)
    {
        return options.begin()[Pick(0, static_cast<int>(options.size()) - 1)];
    }
    char Byte(int lo, int hi) { return static_cast<char>(Pick(lo, hi)); }

    std::string Digits(int count)
    {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += static_cast<char>('0' + Pick(0, 9));
        return s;
    }

    // A switch in either case, with / or -, mostly one of the screen-saver letters.
    std::string Switch()
    {
        std::string s(1, Chance(2) ? '/' : '-');
        char letter = *Pick({"s", "p", "l", "c", "s", "p", "l", "c", "a", "x", "d"});
        if (Chance(2))
            letter = static_cast<char>(letter - 'a' + 'A');
        return s + letter;
    }

    std::string HandleSwitch()
    {
        std::string s = Switch();
        s[1] = *Pick({"p", "P", "l", "L", "c", "C"});
        return s;
    }

    std::string Separator() { return Pick({"", " ", "   ", ":", " :", "\t", "::", "  "}); }

    // What may stand where a window handle is read.
    std::string Handle()
    {
        switch (Pick(0, 11)) {
        case 0:
            return std::to_string(Pick(1, 0x7FFFFFFF));
        case 1:
            return std::to_string(Pick(1, 70000));
        case 2:
            return std::string(Chance(2) ? "-" : "+") + std::to_string(Pick(1, 0x7FFFFFFF));
        case 3:
            // Past 32 bits, and far past 64.
            return std::to_string(4294967296LL + Pick(0, 0x7FFFFFFF));
        case 4:
            return std::string(Chance(2) ? "-" : "") + "9" + Digits(Pick(10, 40));
        case 5:
            return Pick({"2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295",
                         "4294967296", "18446744073709551615", "18446744073709551616"});
        case 6:
            return std::string(static_cast<size_t>(Pick(1, 12)), '0') +
                std::to_string(Pick(1, 0x7FFFFFFF));
        case 7:
            return ":" + std::to_string(Pick(1, 0x7FFFFFFF));
        case 8:
            return Pick({"0", "-0", "+0", "0000000", "-", "+", "--5", "+-5", ""});
        case 9:
            return std::to_string(Pick(1, 0x7FFFFFFF)) + Pick({"abc", ":9", "/s", "-p 5", "x"});
        case 10:
            return Pick({"0x1F", "1e9", "12 34", " 7", "\t7"});
        default:
            return std::to_string(Pick(1, 0x7FFFFFFF)) + ":" + std::to_string(Pick(0, 999));
        }
    }

    std::string Switches()
    {
        std::string line;
        const int count = Pick(1, 4);
        for (int i = 0; i < count; ++i) {
            if (i > 0 || Chance(4))
                line += Pick({" ", "  ", "", "x"});
            line += Switch();
            if (Chance(2))
                line += Separator() + Handle();
        }
        return line;
    }

    std::string Handles()
    {
        std::string line = HandleSwitch() + Separator() + Handle();
        if (Chance(3))
            line += " " + HandleSwitch() + Separator() + Handle();
        if (Chance(6))
            line = Pick({"junk ", "/a ", "x", "\"q\" "}) + line;
        return line;
    }

    std::string HighBytes(int count)
    {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += Byte(0x80, 0xFF);
        return s;
    }

    std::string NonAscii()
    {
        std::string line;
        const int pieces = Pick(1, 5);
        for (int i = 0; i < pieces; ++i) {
            switch (Pick(0, 3)) {
            case 0:
                line += HighBytes(Pick(1, 6));
                break;
            case 1:
                line += Switch();
                break;
            case 2:
                // A lead byte directly before a switch or a handle.
                line += std::string(1, Byte(kLeadByteFirst, kLeadByteLast)) + HandleSwitch() + " " +
                    Handle();
                break;
            default:
                line += " " + HandleSwitch() + HighBytes(1) + " " + Handle();
                break;
            }
        }
        // Half of them end in a double-byte lead byte with nothing after it.
        if (Chance(2))
            line += Byte(kLeadByteFirst, kLeadByteLast);
        return line;
    }

    std::string Filler(size_t length)
    {
        std::string s;
        const int kind = Pick(0, 3);
        while (s.size() < length) {
            switch (kind) {
            case 0:
                s += ' ';
                break;
            case 1:
                s += 'x';
                break;
            case 2:
                s += Byte(0x21, 0x7E);
                break;
            default:
                s += Byte(0x80, 0xFF);
                break;
            }
        }
        // Random printable text may hold switches of its own: ChooseMode judges the line.
        return s;
    }

    std::string Long()
    {
        const size_t length = static_cast<size_t>(
            Pick(static_cast<int>(kLongLineMin), static_cast<int>(kLongLineMax)));
        const std::string piece = Chance(3) ? Switch() : HandleSwitch() + Separator() + Handle();
        switch (Pick(0, 3)) {
        case 0:
            return piece + " " + Filler(length);
        case 1:
            return Filler(length / 2) + " " + piece + " " + Filler(length / 2);
        case 2:
            return Filler(length) + " " + piece;
        default:
            // The handle far behind its switch: only blanks between them.
            return HandleSwitch() + std::string(length, ' ') + std::to_string(Pick(1, 0x7FFFFFFF));
        }
    }

    std::string Empty() { return Pick({"", " ", "     ", "\t", " \t "}); }

    std::string Junk()
    {
        std::string line;
        const int length = Pick(1, 200);
        for (int i = 0; i < length; ++i)
            line += Chance(3) ? Byte(0x21, 0x7E) : Byte(0x01, 0xFF);
        return line;
    }

    std::mt19937 m_random;
};

// The settings key as it was, restored when the object goes; meanwhile the stored saver
// selection names only a missing file, so run mode has nothing to show and ends on input.
class EmptySaverSelection {
public:
    EmptySaverSelection()
        : m_backup("Software\\QuillmixTests\\CampaignBackup_" +
                   std::to_string(::GetCurrentProcessId()))
    {
        HKEY key = nullptr;
        m_existed =
            ::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (m_existed) {
            ::RegCloseKey(key);
            ::SHDeleteKeyA(HKEY_CURRENT_USER, m_backup.c_str());
            HKEY backup = Create(m_backup.c_str());
            ::SHCopyKeyA(HKEY_CURRENT_USER, kSettingsKey, backup, 0);
            ::RegCloseKey(backup);
        }
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kSaversKey);
        HKEY savers = Create(kSaversKey);
        m_ok =
            ::RegSetValueExA(savers, "000", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMissingSaver),
                             sizeof(kMissingSaver)) == ERROR_SUCCESS;
        ::RegCloseKey(savers);
    }
    EmptySaverSelection(const EmptySaverSelection&) = delete;
    EmptySaverSelection& operator=(const EmptySaverSelection&) = delete;
    ~EmptySaverSelection()
    {
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        if (m_existed) {
            HKEY settings = Create(kSettingsKey);
            ::SHCopyKeyA(HKEY_CURRENT_USER, m_backup.c_str(), settings, 0);
            ::RegCloseKey(settings);
            ::SHDeleteKeyA(HKEY_CURRENT_USER, m_backup.c_str());
        }
    }

    bool Ok() const { return m_ok; }

private:
    static HKEY Create(const char* path)
    {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return key;
    }

    std::string m_backup;
    bool m_existed = false;
    bool m_ok = false;
};

// A top-level window of this test that a line names as preview host or dialog owner.
class HostWindow {
public:
    HostWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kHostClass;
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(0, kHostClass, "Campaign host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   40, 40, 200, 170, nullptr, nullptr, wc.hInstance, nullptr);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow() { Destroy(); }

    HWND get() const { return m_hWnd; }
    void Destroy()
    {
        if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }

private:
    HWND m_hWnd = nullptr;
};

struct Line {
    LineClass cls;
    std::string text;  // as given to CreateProcessA after the product path
    ModeChoice expected;  // ChooseMode of the lower-cased text the product receives
    bool delivered = true;  // the text reached the product unchanged
};

// What one process of the product showed and how it ended.
struct Observed {
    bool started = false;
    DWORD startError = 0;
    bool dialog = false;
    bool cover = false;
    bool preview = false;
    HWND owner = nullptr;  // the dialog's owner when it was seen
    bool hung = false;
    DWORD exitCode = 0;
    ULONGLONG ms = 0;  // from the start to the end, for the report of a failure
    int keys = 0;  // key presses injected
};

HWND FindPreviewIn(HWND host, DWORD pid)
{
    if (host == nullptr || !::IsWindow(host))
        return nullptr;
    HWND child = ::FindWindowExA(host, nullptr, nullptr, kPreviewText);
    DWORD owner = 0;
    if (child != nullptr)
        ::GetWindowThreadProcessId(child, &owner);
    return owner == pid ? child : nullptr;
}

// A key press as the user's input, not a mouse move: under Wine, a run-mode line that came
// right after one ended by an injected mouse move now and then ended by itself within
// 100 ms, before any input of its own (twice in about 500 lines; never with key presses).
// Wine keeps the pointer position twice, its own and the X server's, and after an injected
// (and accelerated) move the two can differ for a moment: the likely cause. Windows has
// one pointer position only.
void PressKey()
{
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = VK_ESCAPE;
    inputs[1].type = INPUT_KEYBOARD;
    inputs[1].ki.wVk = VK_ESCAPE;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(ARRAYSIZE(inputs), inputs, sizeof(INPUT));
}

// Starts the product with the line and plays the user of whatever mode shows up: cancels
// the dialog, presses a key on the cover, takes the preview's host away. Whichever
// mode appears is recorded, so a wrong one ends too instead of waiting for the guard.
Observed RunProduct(const std::string& line, HostWindow* host)
{
    Observed seen;
    const std::string product = ProductPath();
    // Wine now and then fails a CreateProcessA that succeeds when given again at once; the
    // product has not run then, so that is no finding about it.
    UniqueHandle process;
    for (int attempt = 0; attempt < kStartAttempts && !process; ++attempt) {
        if (attempt > 0)
            ::Sleep(kInputPauseMs);
        process = StartChildSaver(product.c_str(), product + " " + line);
        if (!process)
            seen.startError = ::GetLastError();
    }
    if (!process)
        return seen;
    seen.started = true;
    const DWORD pid = ::GetProcessId(process.get());
    HANDLE h = process.get();
    const ULONGLONG start = ::GetTickCount64();
    ULONGLONG lastInput = 0;
    bool cancelled = false;
    for (;;) {
        DispatchWaitingMessages();
        if (HWND dialog = FindProcessWindow(pid, kDialogClass, kDialogTitle)) {
            if (!seen.dialog)
                seen.owner = ::GetWindow(dialog, GW_OWNER);
            seen.dialog = true;
            if (!cancelled)
                cancelled = ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                           0) != FALSE;
        }
        if (FindProcessWindow(pid, nullptr, kCoverText) != nullptr) {
            seen.cover = true;
            // The cover listens for input only once it knows that no saver will run.
            const ULONGLONG now = ::GetTickCount64();
            if (now - lastInput >= kInputPauseMs) {
                PressKey();
                ++seen.keys;
                lastInput = now;
            }
        }
        if (FindProcessWindow(pid, nullptr, kPreviewText) != nullptr)
            seen.preview = true;
        if (host != nullptr && FindPreviewIn(host->get(), pid) != nullptr) {
            seen.preview = true;
            host->Destroy();
        }
        if (::MsgWaitForMultipleObjects(1, &h, FALSE, kPollMs, QS_ALLINPUT) == WAIT_OBJECT_0)
            break;
        if (::GetTickCount64() - start > kHangGuardMs) {
            seen.hung = true;
            ::TerminateProcess(h, 1);
            ::WaitForSingleObject(h, INFINITE);
            break;
        }
    }
    seen.exitCode = ExitCodeOf(h);
    seen.ms = ::GetTickCount64() - start;
    return seen;
}

// Empty when the product behaved as the line's mode demands; else what went wrong.
std::string Judge(const Line& line, const Observed& seen, HWND host)
{
    if (!seen.started)
        return "the product did not start, error " + std::to_string(seen.startError);
    if (seen.hung)
        return "still running after the hang guard";
    std::string wrong;
    const bool realHost = line.expected.mode == SaverMode::Preview && host != nullptr;
    const bool wantDialog = line.expected.mode == SaverMode::Configure;
    const bool wantCover = line.expected.mode == SaverMode::Run;
    if (seen.dialog != wantDialog)
        wrong += seen.dialog ? " a dialog appeared;" : " no dialog;";
    if (seen.cover != wantCover)
        wrong += seen.cover ? " a cover appeared;" : " no cover;";
    if (seen.preview != realHost)
        wrong += seen.preview ? " a preview window appeared;" : " no preview in the host;";
    if (wantDialog && seen.dialog) {
        const HWND wantOwner = line.cls == LineClass::RealOwner ? host : nullptr;
        if (seen.owner != wantOwner)
            wrong += " the dialog's owner is wrong;";
    }
    if (seen.exitCode != 0)
        wrong += " exit code " + std::to_string(seen.exitCode) + ";";
    if (!wrong.empty())
        wrong += " (ended after " + std::to_string(seen.ms) + " ms, " + std::to_string(seen.keys) +
            " key presses)";
    return wrong;
}

int CorpusSize()
{
    const std::string value = EnvOr(kLinesVariable);
    const int n = value.empty() ? kDefaultLines : std::atoi(value.c_str());
    return n > 0 ? n : kDefaultLines;
}

LineClass ClassOf(int index)
{
    if (index % kRealEvery == kRealHostAt)
        return LineClass::RealHost;
    if (index % kRealEvery == kRealOwnerAt)
        return LineClass::RealOwner;
    return kRotation[index % ARRAYSIZE(kRotation)];
}

bool NamesWindow(LONG value) { return value != 0 && ::IsWindow(HandleFromNumber(value)); }

// A generated line of the class whose window, if it names one, names no existing window;
// lines that happen to name one are drawn again (counted in replaced).
Line MakeLine(CorpusGenerator& generator, LineClass cls, HWND host, int& replaced)
{
    const size_t limit = kCommandLineLimit - ProductPath().size() - 2;
    for (;;) {
        Line line{cls, generator.Next(cls), {SaverMode::Configure, 0}};
        if (line.text.size() > limit)
            line.text.resize(limit);
        const size_t mark = line.text.find('#');
        if (host != nullptr && mark != std::string::npos)
            line.text.replace(mark, 1, std::to_string(reinterpret_cast<LONG_PTR>(host)));
        const std::string delivered = AsDelivered(line.text);
        line.delivered = delivered == line.text;
        line.expected = ChooseMode(LowerCaseCommandLine(delivered.c_str()));
        if (host != nullptr || !NamesWindow(line.expected.window))
            return line;
        ++replaced;
    }
}

TEST(CommandLineCampaign, EveryLineEndsInExactlyTheChosenModeWithExitCodeZero)
{
    EmptySaverSelection selection;
    ASSERT_TRUE(selection.Ok()) << "cannot store the empty saver selection";

    const int lines = CorpusSize();
    CorpusGenerator generator(kSeed);
    int modeCounts[3] = {};
    int classCounts[kClassCount] = {};
    int ownedDialogs = 0, replaced = 0, changedInDelivery = 0, endInLeadByte = 0, failures = 0;
    const int kFailuresShown = 25;
    const ULONGLONG start = ::GetTickCount64();

    for (int i = 0; i < lines; ++i) {
        const LineClass cls = ClassOf(i);
        const bool real = cls == LineClass::RealHost || cls == LineClass::RealOwner;
        std::unique_ptr<HostWindow> host;
        if (real) {
            host.reset(new HostWindow);
            ASSERT_NE(host->get(), nullptr);
        }
        const HWND hostHandle = real ? host->get() : nullptr;
        const Line line = MakeLine(generator, cls, hostHandle, replaced);
        if (real) {
            // The handle must reach the mode the line is made for.
            const SaverMode want =
                cls == LineClass::RealHost ? SaverMode::Preview : SaverMode::Configure;
            ASSERT_EQ(line.expected.mode, want) << Printable(line.text);
            ASSERT_EQ(HandleFromNumber(line.expected.window), hostHandle) << Printable(line.text);
        }
        const Observed seen = RunProduct(line.text, host.get());
        const std::string wrong = Judge(line, seen, hostHandle);
        ++modeCounts[static_cast<int>(line.expected.mode)];
        ++classCounts[static_cast<int>(cls)];
        if (line.expected.mode == SaverMode::Configure && line.expected.window != 0)
            ++ownedDialogs;
        if (!line.delivered)
            ++changedInDelivery;
        if (!line.text.empty() && static_cast<unsigned char>(line.text.back()) >= kLeadByteFirst &&
            static_cast<unsigned char>(line.text.back()) <= kLeadByteLast)
            ++endInLeadByte;
        if (!wrong.empty()) {
            ++failures;
            if (failures <= kFailuresShown)
                ADD_FAILURE() << "line " << i << " (" << kClassNames[static_cast<int>(cls)]
                              << ", expected " << ModeName(line.expected.mode) << " "
                              << line.expected.window << "): " << Printable(line.text) << ":"
                              << wrong;
        }
    }

    const double seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
    std::printf("command-line campaign: %d lines (seed %u, code page %u) in %.0f s; failures: %d\n",
                lines, kSeed, ::GetACP(), seconds, failures);
    std::printf("  modes: run %d, preview %d (%d in a window of the test), configure %d (%d with "
                "an owner handle, %d of them a window of the test)\n",
                modeCounts[static_cast<int>(SaverMode::Run)],
                modeCounts[static_cast<int>(SaverMode::Preview)],
                classCounts[static_cast<int>(LineClass::RealHost)],
                modeCounts[static_cast<int>(SaverMode::Configure)], ownedDialogs,
                classCounts[static_cast<int>(LineClass::RealOwner)]);
    std::printf("  classes:");
    for (int c = 0; c < kClassCount; ++c)
        std::printf(" %s %d%s", kClassNames[c], classCounts[c], c + 1 < kClassCount ? "," : "\n");
    std::printf("  lines ending in a byte 0x%02X..0x%02X: %d; drawn again because their handle "
                "named a window: %d; changed by the system on the way to the product: %d\n",
                kLeadByteFirst, kLeadByteLast, endInLeadByte, replaced, changedInDelivery);
    EXPECT_EQ(failures, 0);
    // Every mode took part, whatever the size.
    EXPECT_GT(modeCounts[static_cast<int>(SaverMode::Run)], 0);
    EXPECT_GT(modeCounts[static_cast<int>(SaverMode::Preview)], 0);
    EXPECT_GT(modeCounts[static_cast<int>(SaverMode::Configure)], 0);
}

}  // namespace
