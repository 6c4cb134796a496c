// The registry access functions against the real (Wine) registry, with HKEY_CURRENT_USER
// sent to a scratch key per test.
#include "settings/Registry.h"

#include "tests/settings/RegistryProbe.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using settingstest::RawExists;
using settingstest::RawQuery;
using settingstest::RawSet;
using settingstest::RawValue;

namespace {

constexpr char kKey[] = "HKCU\\Software\\QuillmixRegistryTest";
constexpr char kSubKey[] = "Software\\QuillmixRegistryTest";

class RegistryTest : public testing::Test {
protected:
    ScratchRegistry m_registry;
};

TEST(RegParseKeyPathTest, KnowsEveryRootByLongAndShortNameWithCase)
{
    struct Case {
        const char* pszPath;
        HKEY hRoot;
        const char* pszSubKey;
    };
    const Case cases[] = {
        {"HKEY_CLASSES_ROOT\\a", HKEY_CLASSES_ROOT, "a"},
        {"HKCR\\a", HKEY_CLASSES_ROOT, "a"},
        {"HKEY_CURRENT_CONFIG\\a", HKEY_CURRENT_CONFIG, "a"},
        {"HKCC\\a", HKEY_CURRENT_CONFIG, "a"},
        {"HKEY_CURRENT_USER\\Software\\X", HKEY_CURRENT_USER, "Software\\X"},
        {"HKCU\\Software\\X", HKEY_CURRENT_USER, "Software\\X"},
        {"HKEY_LOCAL_MACHINE\\a", HKEY_LOCAL_MACHINE, "a"},
        {"HKLM\\a", HKEY_LOCAL_MACHINE, "a"},
        {"HKEY_USERS\\a", HKEY_USERS, "a"},
        {"HKU\\a", HKEY_USERS, "a"},
        {"HKEY_PERFORMANCE_DATA\\a", HKEY_PERFORMANCE_DATA, "a"},
        {"HKPD\\a", HKEY_PERFORMANCE_DATA, "a"},
        {"HKEY_DYN_DATA\\a", HKEY_DYN_DATA, "a"},
        {"HKDD\\a", HKEY_DYN_DATA, "a"},
        // Forward slashes count as backslashes, in the root and in the subkey.
        {"HKCU/Software/X", HKEY_CURRENT_USER, "Software\\X"},
        // The subkey may be empty.
        {"HKCU\\", HKEY_CURRENT_USER, ""},
        // Not roots: other case, no backslash, empty, unknown names.
        {"hkcu\\Software", nullptr, ""},
        {"Hkey_Current_User\\Software", nullptr, ""},
        {"HKCU", nullptr, ""},
        {"", nullptr, ""},
        {"HKXX\\Software", nullptr, ""},
        {"\\Software", nullptr, ""},
    };
    for (const Case& c : cases) {
        AnsiString subKey = "left over";
        EXPECT_EQ(RegParseKeyPath(c.pszPath, &subKey), c.hRoot) << c.pszPath;
        EXPECT_EQ(subKey.str(), c.pszSubKey) << c.pszPath;
    }
}

TEST_F(RegistryTest, UnrecognisedPathsMakeEveryFunctionFailAndTouchNothing)
{
    const char* const paths[] = {"hkcu\\Software\\QuillmixRegistryTest",
                                 "Software\\QuillmixRegistryTest", ""};
    for (const char* pszPath : paths) {
        EXPECT_EQ(RegOpenKeyPath(pszPath, true), nullptr) << pszPath;
        EXPECT_FALSE(RegKeyPathExists(pszPath)) << pszPath;
        EXPECT_FALSE(RegWriteDword(pszPath, "n", 1)) << pszPath;
        EXPECT_FALSE(RegWriteString(pszPath, "s", "x")) << pszPath;
        DWORD dw = 1;
        EXPECT_FALSE(RegReadDword(pszPath, "n", &dw)) << pszPath;
        EXPECT_EQ(dw, 0u) << pszPath;
        AnsiString text;
        EXPECT_FALSE(RegReadText(pszPath, "s", &text, MAX_PATH)) << pszPath;
        EXPECT_EQ(RegCountValues(pszPath), 0u) << pszPath;
        AnsiString name;
        EXPECT_FALSE(RegGetValueName(pszPath, 0, &name)) << pszPath;
        EXPECT_FALSE(RegDeleteKeyPath(pszPath)) << pszPath;
    }
    EXPECT_FALSE(RawExists(kSubKey));
}

TEST_F(RegistryTest, WritesCreateTheKeyAndReadBack)
{
    const AnsiString key = std::string(kKey) + "\\Deeper\\Deepest";
    EXPECT_FALSE(RegKeyPathExists(key));
    EXPECT_EQ(RegOpenKeyPath(key, false), nullptr);
    EXPECT_FALSE(RawExists(kSubKey)) << "opening without create made the key";

    ASSERT_TRUE(RegWriteDword(key, "Number", 0x12345678));
    EXPECT_TRUE(RegKeyPathExists(key));
    ASSERT_TRUE(RegWriteString(key, "Text", "C:\\Savers\\a.scr"));
    ASSERT_TRUE(RegWriteString(key, "Empty", ""));

    DWORD dw = 0;
    EXPECT_TRUE(RegReadDword(key, "Number", &dw));
    EXPECT_EQ(dw, 0x12345678u);
    AnsiString text;
    EXPECT_TRUE(RegReadText(key, "Text", &text, MAX_PATH));
    EXPECT_EQ(text.str(), "C:\\Savers\\a.scr");

    // Stored as the registry itself sees them: REG_DWORD of 4 bytes, REG_SZ with its NUL,
    // and the empty text as no bytes at all.
    const std::string subKey = std::string(kSubKey) + "\\Deeper\\Deepest";
    const RawValue number = RawQuery(subKey, "Number");
    EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number.data.size(), 4u);
    const RawValue stored = RawQuery(subKey, "Text");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, std::string("C:\\Savers\\a.scr", 16));
    const RawValue empty = RawQuery(subKey, "Empty");
    EXPECT_TRUE(empty.exists);
    EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.data.size(), 0u);
    EXPECT_TRUE(RegReadText(key, "Empty", &text, MAX_PATH));
    EXPECT_EQ(text.str(), "");

    // The handle is a real key: the caller closes it.
    const HKEY hKey = RegOpenKeyPath(key, false);
    ASSERT_NE(hKey, nullptr);
    EXPECT_EQ(::RegQueryValueExA(hKey, "Number", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(hKey);
}

TEST_F(RegistryTest, DeleteRemovesTheWholeSubtreeButNeverARoot)
{
    const AnsiString key = std::string(kKey) + "\\Folders";
    ASSERT_TRUE(RegWriteString(key, "00", "C:\\a"));
    ASSERT_TRUE(RegWriteString(key + "\\Child", "00", "C:\\b"));
    ASSERT_TRUE(RegWriteDword(kKey, "Keep", 1));

    EXPECT_TRUE(RegDeleteKeyPath(key));
    EXPECT_FALSE(RegKeyPathExists(key));
    EXPECT_TRUE(RegKeyPathExists(kKey));
    EXPECT_FALSE(RegDeleteKeyPath(key)) << "deleting a missing key succeeded";

    // An empty subkey would be the root itself.
    EXPECT_FALSE(RegDeleteKeyPath("HKCU\\"));
    EXPECT_FALSE(RegDeleteKeyPath("HKCU/"));
    EXPECT_TRUE(RawExists(kSubKey));
}

TEST_F(RegistryTest, ReadValueTakesShortDataOfAnyTypeAndRefusesLongData)
{
    const std::string two("\x34\x12", 2);
    RawSet(kSubKey, "Binary2", REG_BINARY, two);
    RawSet(kSubKey, "Binary9", REG_BINARY, std::string("123456789", 9));
    RawSet(kSubKey, "Text", REG_SZ, std::string("ab", 3));

    DWORD dw = 0xFFFFFFFF;
    EXPECT_TRUE(RegReadDword(kKey, "Binary2", &dw));
    EXPECT_EQ(dw, 0x1234u) << "the missing high bytes are zero";
    EXPECT_TRUE(RegReadDword(kKey, "Text", &dw));
    EXPECT_EQ(dw, 0x6261u);
    dw = 0xFFFFFFFF;
    EXPECT_FALSE(RegReadDword(kKey, "Binary9", &dw));
    EXPECT_EQ(dw, 0u);
    EXPECT_FALSE(RegReadDword(kKey, "Missing", &dw));

    // The buffer is zero-filled first and stays zero after a refused read; the call never
    // writes past the size it was given.
    char buffer[12];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_TRUE(RegReadValue(kKey, "Binary2", buffer, 8));
    EXPECT_EQ(std::string(buffer, 12), std::string("\x34\x12\0\0\0\0\0\0xxxx", 12));
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_FALSE(RegReadValue(kKey, "Binary9", buffer, 8));
    EXPECT_EQ(std::string(buffer, 12), std::string("\0\0\0\0\0\0\0\0xxxx", 12));
}

TEST_F(RegistryTest, ReadTextIsCutInsideTheBufferAndAlwaysEnds)
{
    const std::string letters(300, 'a');
    // No NUL at all, longer than the buffer.
    RawSet(kSubKey, "Long", REG_SZ, letters);
    // Exactly the buffer's size and no NUL: fills a 260-byte buffer to its last byte.
    RawSet(kSubKey, "Exact", REG_SZ, letters.substr(0, MAX_PATH));
    // 259 characters and the NUL: fits exactly.
    RawSet(kSubKey, "Fits", REG_SZ, letters.substr(0, MAX_PATH - 1) + '\0');
    // A text, its NUL, and more data than the buffer holds behind it.
    RawSet(kSubKey, "Tail", REG_BINARY, std::string("C:\\Savers", 9) + '\0' + letters);

    AnsiString text;
    EXPECT_TRUE(RegReadText(kKey, "Long", &text, MAX_PATH));
    EXPECT_EQ(text.str(), letters.substr(0, MAX_PATH - 1));
    EXPECT_TRUE(RegReadText(kKey, "Exact", &text, MAX_PATH));
    EXPECT_EQ(text.str(), letters.substr(0, MAX_PATH - 1));
    EXPECT_TRUE(RegReadText(kKey, "Fits", &text, MAX_PATH));
    EXPECT_EQ(text.str(), letters.substr(0, MAX_PATH - 1));
    EXPECT_TRUE(RegReadText(kKey, "Tail", &text, MAX_PATH));
    EXPECT_EQ(text.str(), "C:\\Savers");
    EXPECT_TRUE(RegReadText(kKey, "Long", &text, 4));
    EXPECT_EQ(text.str(), "aaa");
    EXPECT_FALSE(RegReadText(kKey, "Missing", &text, MAX_PATH));
    EXPECT_EQ(text.str(), "");
}

TEST_F(RegistryTest, CountAndNamesCoverEveryValueWhateverItsName)
{
    const AnsiString key = std::string(kKey) + "\\List";
    // A missing key is made and counts nothing.
    EXPECT_EQ(RegCountValues(key), 0u);
    EXPECT_TRUE(RegKeyPathExists(key));

    // A name longer than the 512-byte counting buffer still counts and reads whole.
    const std::string longName(600, 'n');
    const std::vector<std::string> names = {"000", "001", longName, "002"};
    for (const std::string& name : names)
        ASSERT_TRUE(RegWriteString(key, name.c_str(), "x"));
    ASSERT_EQ(RegCountValues(key), names.size());

    std::vector<std::string> enumerated;
    for (DWORD i = 0; i < names.size(); ++i) {
        AnsiString name;
        ASSERT_TRUE(RegGetValueName(key, i, &name)) << i;
        enumerated.push_back(name.str());
    }
    std::vector<std::string> expected = names;
    std::vector<std::string> sortedEnumerated = enumerated;
    std::sort(expected.begin(), expected.end());
    std::sort(sortedEnumerated.begin(), sortedEnumerated.end());
    EXPECT_EQ(sortedEnumerated, expected);

    AnsiString name = "left over";
    EXPECT_FALSE(RegGetValueName(key, static_cast<DWORD>(names.size()), &name));
    EXPECT_EQ(name.str(), "");
}

}  // namespace
