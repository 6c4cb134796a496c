// The reading of the screen-saver switches: the documented cases, and a great many
// generated command lines compared with a plain restatement of the rules.
#include "app/CommandLine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

ModeChoice Choose(const char* raw) { return ChooseMode(LowerCaseCommandLine(raw)); }

void ExpectMode(const char* raw, SaverMode mode, LONG window)
{
    const ModeChoice choice = Choose(raw);
    EXPECT_EQ(static_cast<int>(choice.mode), static_cast<int>(mode)) << '"' << raw << '"';
    EXPECT_EQ(choice.window, window) << '"' << raw << '"';
}

TEST(LowerCaseCommandLine, MapsLettersAndKeepsTheRest)
{
    EXPECT_EQ(LowerCaseCommandLine("/S").str(), "/s");
    EXPECT_EQ(LowerCaseCommandLine("-S").str(), "-s");
    EXPECT_EQ(LowerCaseCommandLine("/P 456 /C:7 ABC xyz").str(), "/p 456 /c:7 abc xyz");
    EXPECT_EQ(LowerCaseCommandLine("").str(), "");
    EXPECT_EQ(LowerCaseCommandLine(nullptr).str(), "");
}

TEST(ChooseMode, RunSwitchInEitherCaseAndForm)
{
    ExpectMode("/S", SaverMode::Run, 0);
    ExpectMode("-S", SaverMode::Run, 0);
    ExpectMode("/s", SaverMode::Run, 0);
    // A switch counts wherever it stands, also inside a longer word.
    ExpectMode("abc/sdef", SaverMode::Run, 0);
}

TEST(ChooseMode, RunModeIsTriedBeforePreview)
{
    ExpectMode("/p 456 /s", SaverMode::Run, 0);
    ExpectMode("/c 5 -s", SaverMode::Run, 0);
}

TEST(ChooseMode, PreviewWithItsHostWindow)
{
    ExpectMode("/p 456", SaverMode::Preview, 456);
    ExpectMode("/p     456", SaverMode::Preview, 456);
    ExpectMode("/P 456", SaverMode::Preview, 456);
    ExpectMode("/l 456", SaverMode::Preview, 456);
    ExpectMode("-l 456", SaverMode::Preview, 456);
    ExpectMode("-p 456", SaverMode::Preview, 456);
    ExpectMode("/p456", SaverMode::Preview, 456);
    // After the blanks the number is read as atol reads it: more white space, a sign.
    ExpectMode("/p \t456", SaverMode::Preview, 456);
    ExpectMode("/p +12", SaverMode::Preview, 12);
    ExpectMode("/p -12", SaverMode::Preview, -12);
    ExpectMode("/p 456abc", SaverMode::Preview, 456);
}

TEST(ChooseMode, PreviewSwitchesAreTriedInTheirOrder)
{
    // "/p" is tried before "-p", whatever stands further left.
    ExpectMode("-p 5 /p 7", SaverMode::Preview, 7);
    ExpectMode("/l 5 -p 7", SaverMode::Preview, 7);
    ExpectMode("-l 5 /l 7", SaverMode::Preview, 7);
    // The first switch found decides, even when its number is no use and a later one's is.
    ExpectMode("/l 5 /p 0", SaverMode::Configure, 0);
    // The first occurrence of that switch is used.
    ExpectMode("/p 5 /p 7", SaverMode::Preview, 5);
}

TEST(ChooseMode, PreviewHandlesBeyondThirtyTwoBitsAreClamped)
{
    ExpectMode("/p 2147483647", SaverMode::Preview, LONG_MAX);
    ExpectMode("/p 2147483648", SaverMode::Preview, LONG_MAX);
    ExpectMode("/p 99999999999999999999999", SaverMode::Preview, LONG_MAX);
    ExpectMode("/p -2147483648", SaverMode::Preview, LONG_MIN);
    ExpectMode("/p -2147483649", SaverMode::Preview, LONG_MIN);
}

TEST(ChooseMode, PreviewWithoutAUsableHandleFallsToConfiguration)
{
    ExpectMode("/p", SaverMode::Configure, 0);
    ExpectMode("/p   ", SaverMode::Configure, 0);
    ExpectMode("/p 0", SaverMode::Configure, 0);
    ExpectMode("/p -0", SaverMode::Configure, 0);
    ExpectMode("/p:456", SaverMode::Configure, 0);
    ExpectMode("/p abc", SaverMode::Configure, 0);
    ExpectMode("/p \t", SaverMode::Configure, 0);
    // The owner of a "/c" elsewhere on the line still counts.
    ExpectMode("/p 0 /c:77", SaverMode::Configure, 77);
}

TEST(ChooseMode, ConfigurationOwner)
{
    ExpectMode("/c:456", SaverMode::Configure, 456);
    ExpectMode("/c 456", SaverMode::Configure, 456);
    ExpectMode("-c:456", SaverMode::Configure, 456);
    ExpectMode("/C:456", SaverMode::Configure, 456);
    // The character right after the switch is skipped whatever it is.
    ExpectMode("/c456", SaverMode::Configure, 56);
    ExpectMode("/cx-9", SaverMode::Configure, -9);
    ExpectMode("/c:4", SaverMode::Configure, 4);
    // "/c" is tried before "-c".
    ExpectMode("-c:5 /c:6", SaverMode::Configure, 6);
}

TEST(ChooseMode, ConfigurationWithoutOwner)
{
    ExpectMode("/c", SaverMode::Configure, 0);
    ExpectMode("/c:", SaverMode::Configure, 0);
    ExpectMode("/c:abc", SaverMode::Configure, 0);
    ExpectMode("/a 456", SaverMode::Configure, 0);
    ExpectMode("", SaverMode::Configure, 0);
    ExpectMode("456", SaverMode::Configure, 0);
}

// The rules, restated as plainly as possible, to compare the product's reading with.
namespace rules {

size_t Find(const std::string& text, const char* sw)
{
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == sw[0] && text[i + 1] == sw[1])
            return i;
    return std::string::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atol as the runtime reads it, saturating at the 32-bit limits.
LONG Atol(const std::string& text, size_t pos)
{
    while (pos < text.size() && IsCSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(LONG_MAX) + 1)
            value = static_cast<long long>(LONG_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > LONG_MAX)
        return LONG_MAX;
    if (value < LONG_MIN)
        return LONG_MIN;
    return static_cast<LONG>(value);
}

bool Run(const std::string& text)
{
    return Find(text, "/s") != std::string::npos || Find(text, "-s") != std::string::npos;
}

LONG Preview(const std::string& text)
{
    for (const char* sw : {"/p", "-p", "/l", "-l"}) {
        size_t pos = Find(text, sw);
        if (pos == std::string::npos)
            continue;
        pos += 2;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        return pos == text.size() ? 0 : Atol(text, pos);
    }
    return 0;
}

// The configuration owner where the rules leave no doubt: false for text after the
// switch that starts with white space or '+', or whose number has more than nine digits,
// whose reading StrToIntA's own conventions decide.
bool Owner(const std::string& text, LONG& owner)
{
    size_t pos = Find(text, "/c");
    if (pos == std::string::npos)
        pos = Find(text, "-c");
    owner = 0;
    if (pos == std::string::npos || pos + 3 >= text.size())
        return true;
    size_t at = pos + 3;
    if (IsCSpace(text[at]) || text[at] == '+')
        return false;
    const bool negative = text[at] == '-';
    if (negative)
        ++at;
    long long value = 0;
    size_t digits = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at, ++digits)
        value = value * 10 + (text[at] - '0');
    if (digits > 9)
        return false;
    owner = static_cast<LONG>(negative ? -value : value);
    return true;
}

}  // namespace rules

// Command lines built from the pieces that matter: switches in both cases and forms,
// separators, numbers of every size and sign, bytes above 127, DBCS lead bytes at the
// very end, and now and then a very long line.
class CommandLineGenerator {
public:
    explicit CommandLineGenerator(uint32_t seed)
        : m_random(seed)
    {
    }

    std::string Next()
    {
        std::string text;
        const int pieces = Pick(0, 12);
        for (int i = 0; i < pieces; ++i)
            text += Piece();
        if (Pick(0, 200) == 0)
            text += std::string(static_cast<size_t>(Pick(1000, 5000)), Pick(0, 1) ? ' ' : 'x') +
                Piece();
        if (Pick(0, 8) == 0)
            text += static_cast<char>(Pick(0x81, 0xFE));  // a lead byte with nothing after it
        return text;
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }

    std::string Number()
    {
        switch (Pick(0, 6)) {
        case 0:
            return "0";
        case 1:
            return std::to_string(Pick(1, 100000));
        case 2:
            return std::to_string(static_cast<int32_t>(m_random()));
        case 3:
            return std::to_string(static_cast<int64_t>(m_random()) * 1000003LL);
        case 4: {
            std::string digits(static_cast<size_t>(Pick(10, 40)), '9');
            for (char& c : digits)
                c = static_cast<char>('0' + Pick(0, 9));
            return digits;
        }
        case 5:
            return Pick(0, 1) ? "2147483648" : "-2147483649";
        default:
            return Pick(0, 1) ? "-" : "+";
        }
    }

    std::string Piece()
    {
        static const char* const switches[] = {"/s", "-s", "/S", "-S", "/p", "-p", "/P", "-P",
                                               "/l", "-l", "/L", "-L", "/c", "-c", "/C", "-C",
                                               "/a", "/",  "-",  "s",  "p",  "c"};
        static const char* const separators[] = {" ", "  ", ":", "\t", "", "   ", " :", "\r\n"};
        switch (Pick(0, 5)) {
        case 0:
        case 1:
            return switches[Pick(0, ARRAYSIZE(switches) - 1)];
        case 2:
            return separators[Pick(0, ARRAYSIZE(separators) - 1)];
        case 3:
            return Number();
        case 4: {
            std::string high(static_cast<size_t>(Pick(1, 4)), '\x80');
            for (char& c : high)
                c = static_cast<char>(Pick(0x80, 0xFF));
            return high;
        }
        default:
            return std::string(1, static_cast<char>(Pick(1, 0x7F)));
        }
    }

    std::mt19937 m_random;
};

// Two pages, the second one not accessible: text placed so that its terminating zero is
// the last byte of the first page faults at once if anything reads beyond it.
class GuardedText {
public:
    GuardedText()
    {
        SYSTEM_INFO si;
        ::GetSystemInfo(&si);
        m_pageSize = si.dwPageSize;
        m_base = static_cast<char*>(
            ::VirtualAlloc(nullptr, 2 * m_pageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (m_base == nullptr ||
            !::VirtualProtect(m_base + m_pageSize, m_pageSize, PAGE_NOACCESS, &old))
            throw std::runtime_error("cannot make the guard page");
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    ~GuardedText() { ::VirtualFree(m_base, 0, MEM_RELEASE); }

    size_t Capacity() const { return m_pageSize - 1; }

    const char* Place(const std::string& text)
    {
        char* start = m_base + m_pageSize - 1 - text.size();
        std::memcpy(start, text.data(), text.size());
        start[text.size()] = '\0';
        return start;
    }

private:
    size_t m_pageSize = 0;
    char* m_base = nullptr;
};

bool IsLeadByteOfCodePage(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

TEST(CommandLineFuzz, EveryLineGivesOneModeAsTheRulesSay)
{
    const bool singleByteCodePage = [] {
        for (int c = 0x80; c <= 0xFF; ++c)
            if (IsLeadByteOfCodePage(static_cast<unsigned char>(c)))
                return false;
        return true;
    }();
    GuardedText guarded;
    CommandLineGenerator generator(20240607u);
    const int kLines = 300000;
    int runs = 0, previews = 0, configures = 0, owners = 0;
    for (int i = 0; i < kLines; ++i) {
        std::string raw = generator.Next();
        if (raw.size() > guarded.Capacity())
            raw.resize(guarded.Capacity());
        const AnsiString lowered = LowerCaseCommandLine(guarded.Place(raw));
        const std::string& text = lowered.str();
        ASSERT_EQ(text.size(), raw.size()) << "lower-casing changed the length of \"" << raw << '"';
        if (singleByteCodePage) {
            for (size_t k = 0; k < raw.size(); ++k) {
                const char c = raw[k];
                if (static_cast<unsigned char>(c) < 0x80) {
                    ASSERT_EQ(text[k], c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c)
                        << "at " << k << " of \"" << raw << '"';
                }
            }
        }

        const ModeChoice choice = ChooseMode(lowered);
        const bool run = rules::Run(text);
        const LONG host = rules::Preview(text);
        LONG owner = 0;
        const bool ownerKnown = rules::Owner(text, owner);
        switch (choice.mode) {
        case SaverMode::Run:
            ++runs;
            ASSERT_TRUE(run) << '"' << text << '"';
            ASSERT_EQ(choice.window, 0);
            break;
        case SaverMode::Preview:
            ++previews;
            ASSERT_FALSE(run) << '"' << text << '"';
            ASSERT_NE(host, 0) << '"' << text << '"';
            ASSERT_EQ(choice.window, host) << '"' << text << '"';
            break;
        case SaverMode::Configure:
            ++configures;
            ASSERT_FALSE(run) << '"' << text << '"';
            ASSERT_EQ(host, 0) << '"' << text << '"';
            if (ownerKnown) {
                ASSERT_EQ(choice.window, owner) << '"' << text << '"';
            }
            if (choice.window != 0)
                ++owners;
            break;
        default:
            FAIL() << "no mode for \"" << text << '"';
        }
        // The single readers agree with the choice made from them.
        ASSERT_EQ(HasRunSwitch(lowered), run);
        ASSERT_EQ(ReadPreviewHandle(lowered), host) << '"' << text << '"';
    }
    EXPECT_EQ(runs + previews + configures, kLines);
    // The generator reaches every mode often enough for the comparison to mean something.
    EXPECT_GT(runs, kLines / 20);
    EXPECT_GT(previews, kLines / 50);
    EXPECT_GT(configures, kLines / 20);
    EXPECT_GT(owners, kLines / 200);
}

TEST(CommandLineFuzz, LinesUpToAPageLongEndingAtTheGuard)
{
    GuardedText guarded;
    // Every switch as the very last bytes, where a reader would look one further.
    for (const char* tail : {"/p", "/p ", "/p  ", "-l", "/c", "/c:", "/c:-", "/p -", "/p +", "-s",
                             "/c9", "\x81", "/p \x81", "/c:\x81"}) {
        for (size_t length :
             {size_t{0}, size_t{1}, size_t{100}, guarded.Capacity() - std::strlen(tail)}) {
            const std::string raw = std::string(length, ' ') + tail;
            const AnsiString lowered = LowerCaseCommandLine(guarded.Place(raw));
            const ModeChoice choice = ChooseMode(lowered);
            EXPECT_EQ(lowered.length(), raw.size());
            if (std::strcmp(tail, "-s") == 0)
                EXPECT_EQ(static_cast<int>(choice.mode), static_cast<int>(SaverMode::Run));
            else
                EXPECT_EQ(static_cast<int>(choice.mode), static_cast<int>(SaverMode::Configure))
                    << raw;
            // Nothing readable follows any of these switches.
            EXPECT_EQ(choice.window, 0) << raw;
        }
    }
}

}  // namespace
