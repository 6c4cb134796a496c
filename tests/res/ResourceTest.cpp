// The resources of both built Quillmix.scr files, read as data: string 1, dialog template
// 203 byte by byte, bitmap 202, the icon group and the manifest. A 64-bit process can map
// the 32-bit file as a data file, so one test program checks both builds.
#include "res/resource.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The resource ids that hosts and the code rely on.
constexpr WORD kDescriptionId = 1;
constexpr WORD kLogoId = 202;
constexpr WORD kDialogId = 203;
constexpr WORD kManifestId = 1;
static_assert(IDS_DESCRIPTION == kDescriptionId && IDB_LOGO == kLogoId &&
                  IDD_CONFIGURE == kDialogId,
              "res/resource.h and the external resource ids disagree");

const char kDescription[] = "Quillmix (Random)";
// Set where both presets were built: the other build's product must then be there too.
const char kRequireBothVariable[] = "QUILLMIX_REQUIRE_BOTH";

struct Build {
    const char* name;
    const char* pathVariable;
    WORD machine;
};

void PrintTo(const Build& build, std::ostream* os) { *os << build.name; }

const Build kBuilds[] = {
    {"x64", "QUILLMIX_SCR_X64", IMAGE_FILE_MACHINE_AMD64},
    {"x86", "QUILLMIX_SCR_X86", IMAGE_FILE_MACHINE_I386},
};

// Reads a resource's bytes front to back and never past their end: a short or malformed
// resource makes it throw, which fails the test instead of reading stray memory.
class ResourceReader {
public:
    ResourceReader(const BYTE* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    WORD Word() { return Scalar<WORD>(); }
    DWORD Dword() { return Scalar<DWORD>(); }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return Scalar<BYTE>(); }

    // A zero-terminated UTF-16 string, given back as ASCII ('?' for anything else).
    std::string String()
    {
        std::string text;
        for (WORD c; (c = Word()) != 0;)
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }

    // A name or an ordinal: "" for none, "#n" for ordinal n.
    std::string NameOrOrdinal()
    {
        const size_t at = m_pos;
        const WORD first = Word();
        if (first == 0)
            return std::string();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        m_pos = at;
        return String();
    }

    void Skip(size_t n)
    {
        Need(n);
        m_pos += n;
    }
    void AlignToDword() { Skip((4 - m_pos % 4) % 4); }

private:
    void Need(size_t n) const
    {
        if (n > m_size - m_pos)
            throw std::runtime_error("resource ends early");
    }
    template <class T> T Scalar()
    {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }

    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

struct DialogItem {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    LONG id;
    std::string className, text;
};

struct Dialog {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    std::string menu, className, title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::string typeface;
    std::vector<DialogItem> items;
};

// The predefined control classes, as a template may name them by atom.
std::string ClassName(const std::string& nameOrAtom)
{
    static const struct {
        const char* atom;
        const char* name;
    } atoms[] = {{"#128", "BUTTON"},  {"#129", "EDIT"},      {"#130", "STATIC"},
                 {"#131", "LISTBOX"}, {"#132", "SCROLLBAR"}, {"#133", "COMBOBOX"}};
    for (const auto& a : atoms)
        if (nameOrAtom == a.atom)
            return a.name;
    std::string upper = nameOrAtom;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

Dialog ParseDialogEx(const BYTE* data, size_t size)
{
    ResourceReader r(data, size);
    Dialog d = {};
    d.version = r.Word();
    d.signature = r.Word();
    if (d.version != 1 || d.signature != 0xFFFF)
        throw std::runtime_error("not an extended dialog template");
    d.helpId = r.Dword();
    d.exStyle = r.Dword();
    d.style = r.Dword();
    const WORD count = r.Word();
    d.x = r.Short();
    d.y = r.Short();
    d.cx = r.Short();
    d.cy = r.Short();
    d.menu = r.NameOrOrdinal();
    d.className = r.NameOrOrdinal();
    d.title = r.String();
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = r.Word();
        d.weight = r.Word();
        d.italic = r.Byte();
        d.charset = r.Byte();
        d.typeface = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignToDword();
        DialogItem item = {};
        item.helpId = r.Dword();
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = static_cast<LONG>(r.Dword());
        item.className = ClassName(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        r.Skip(r.Word());
        d.items.push_back(item);
    }
    return d;
}

// The mapped .scr, as a data file.
class DataModule {
public:
    explicit DataModule(const std::string& path)
        : m_h(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    ~DataModule()
    {
        if (m_h != nullptr)
            ::FreeLibrary(m_h);
    }
    HMODULE get() const { return m_h; }

    // The bytes of one resource; empty when it is not there.
    std::vector<BYTE> Bytes(LPCSTR type, LPCSTR name) const
    {
        HRSRC res = ::FindResourceA(m_h, name, type);
        if (res == nullptr)
            return {};
        HGLOBAL loaded = ::LoadResource(m_h, res);
        const auto* p = static_cast<const BYTE*>(::LockResource(loaded));
        const DWORD size = ::SizeofResource(m_h, res);
        return p != nullptr ? std::vector<BYTE>(p, p + size) : std::vector<BYTE>();
    }

private:
    HMODULE m_h;
};

// The machine a PE file is built for, read from its headers (0 when it is none).
WORD MachineOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    IMAGE_DOS_HEADER dos = {};
    if (!file.read(reinterpret_cast<char*>(&dos), sizeof(dos)) ||
        dos.e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    file.seekg(dos.e_lfanew);
    if (!file.read(reinterpret_cast<char*>(&signature), sizeof(signature)) ||
        signature != IMAGE_NT_SIGNATURE ||
        !file.read(reinterpret_cast<char*>(&header), sizeof(header)))
        return 0;
    return header.Machine;
}

class ProductResources : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override
    {
        const Build& build = GetParam();
        m_path = WindowsPathOf(EnvOr(build.pathVariable));
        const bool present =
            !m_path.empty() && ::GetFileAttributesA(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!present) {
            const bool ownBuild =
                (build.machine == IMAGE_FILE_MACHINE_AMD64) == (sizeof(void*) == 8);
            const bool required = ownBuild || EnvOr(kRequireBothVariable) == "1";
            if (required)
                FAIL() << build.name << " product missing: \"" << m_path << "\" ("
                       << build.pathVariable << ")";
            GTEST_SKIP() << build.name << " product not built: " << m_path;
        }
        ASSERT_EQ(MachineOf(m_path), build.machine)
            << m_path << " is not the " << build.name << " build";
        m_module.reset(new DataModule(m_path));
        ASSERT_NE(m_module->get(), nullptr)
            << "cannot map " << m_path << ", error " << ::GetLastError();
    }

    std::string m_path;
    std::unique_ptr<DataModule> m_module;
};

TEST_P(ProductResources, DescriptionIsString1)
{
    char text[256] = {};
    const int n = ::LoadStringA(m_module->get(), kDescriptionId, text, sizeof(text));
    EXPECT_EQ(std::string(text, static_cast<size_t>(n > 0 ? n : 0)), kDescription);
}

struct ExpectedItem {
    LONG id;
    const char* className;
    const char* text;
    short x, y, cx, cy;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
};

const char kShowDesktopText[] = " Show the desktop between screen savers\n"
                                "(Select this option if you have any screen savers that use the "
                                "desktop as an initial background)";

// The configuration dialog's controls, in template (and tab) order.
const ExpectedItem kExpectedItems[] = {
    {-1, "STATIC", "Select screen savers to randomize:", 8, 5, 135, 8, WS_GROUP | SS_LEFT},
    {201, "SYSLISTVIEW32", "", 7, 16, 236, 149,
     WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT | LVS_NOCOLUMNHEADER},
    {-1, "BUTTON", "Cycle Options", 249, 12, 191, 43, WS_GROUP | BS_GROUPBOX},
    {207, "BUTTON", "Choose only one screen saver each time", 257, 25, 143, 10,
     WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON},
    {203, "BUTTON", "Show a new screen saver every", 257, 38, 113, 10,
     WS_TABSTOP | BS_AUTORADIOBUTTON},
    {204, "EDIT", "", 374, 37, 24, 12,
     WS_BORDER | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER},
    {-1, "STATIC", "minute(s)", 402, 39, 36, 8, WS_GROUP | SS_LEFT},
    {205, "BUTTON", kShowDesktopText, 258, 62, 176, 33,
     WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX | BS_TOP | BS_MULTILINE},
    {3, "BUTTON", "Settings", 249, 131, 50, 16, WS_TABSTOP | BS_PUSHBUTTON},
    {4, "BUTTON", "Preview", 249, 150, 50, 16, WS_TABSTOP | BS_PUSHBUTTON},
    {IDOK, "BUTTON", "OK", 335, 150, 50, 16, WS_TABSTOP | BS_DEFPUSHBUTTON},
    {IDCANCEL, "BUTTON", "Cancel", 390, 150, 50, 16, WS_TABSTOP | BS_PUSHBUTTON},
    // Added after the design's controls, which keep their ids, classes, texts and order:
    // the details of the selected saver's status, the choice for several monitors, the fade.
    {208, "STATIC", "", 8, 170, 432, 24, SS_LEFT | SS_NOPREFIX},
    {-1, "STATIC", "On several monitors:", 249, 113, 78, 8, WS_GROUP | SS_LEFT},
    {IDC_MONITOR_MODE, "COMBOBOX", "", 329, 111, 111, 60,
     WS_GROUP | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST},
    {IDC_FADE, "BUTTON", "Fade between screen savers", 258, 97, 176, 10,
     WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX},
};

TEST_P(ProductResources, ConfigurationDialogTemplate)
{
    const std::vector<BYTE> bytes = m_module->Bytes(RT_DIALOG, MAKEINTRESOURCEA(kDialogId));
    ASSERT_FALSE(bytes.empty()) << "no dialog " << kDialogId;
    Dialog d;
    try {
        d = ParseDialogEx(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    EXPECT_EQ(d.title, "Quillmix Configuration");
    EXPECT_EQ(d.style,
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                 DS_FIXEDSYS));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.helpId, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 449);
    EXPECT_EQ(d.cy, 200);
    EXPECT_EQ(d.menu, "");
    EXPECT_EQ(d.className, "");
    EXPECT_EQ(d.typeface, "MS Shell Dlg");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.weight, FW_NORMAL);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, DEFAULT_CHARSET);

    ASSERT_EQ(d.items.size(), ARRAYSIZE(kExpectedItems));
    for (size_t i = 0; i < d.items.size(); ++i) {
        const DialogItem& got = d.items[i];
        const ExpectedItem& want = kExpectedItems[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.className, want.className);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | want.style))
            << std::hex << "got 0x" << got.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.helpId, 0u);
    }
}

TEST_P(ProductResources, LogoBitmapIs152By112AtTrueColour)
{
    const std::vector<BYTE> bytes = m_module->Bytes(RT_BITMAP, MAKEINTRESOURCEA(kLogoId));
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER)) << "no bitmap " << kLogoId;
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, bytes.data(), sizeof(bih));
    EXPECT_GE(bih.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(bih.biWidth, 152);
    EXPECT_EQ(bih.biHeight < 0 ? -bih.biHeight : bih.biHeight, 112);
    EXPECT_EQ(bih.biPlanes, 1);
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
    const size_t stride = (152 * 3 + 3) / 4 * 4;
    EXPECT_GE(bytes.size(), bih.biSize + stride * 112) << "the pixels are cut short";
}

TEST_P(ProductResources, IconGroupWithEveryIconItNames)
{
    const std::vector<BYTE> group = m_module->Bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_QUILLMIX));
    ASSERT_FALSE(group.empty()) << "no icon group";
    ResourceReader r(group.data(), group.size());
    try {
        EXPECT_EQ(r.Word(), 0);  // reserved
        EXPECT_EQ(r.Word(), 1);  // icons, not cursors
        const WORD count = r.Word();
        EXPECT_GE(count, 1);
        for (WORD i = 0; i < count; ++i) {
            r.Skip(8);  // width, height, colours, reserved, planes, bits
            const DWORD bytesInRes = r.Dword();
            const WORD id = r.Word();
            const std::vector<BYTE> icon = m_module->Bytes(RT_ICON, MAKEINTRESOURCEA(id));
            EXPECT_EQ(icon.size(), bytesInRes) << "icon " << id;
        }
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
}

// The value of one attribute inside an element's text, "" when it is not there.
std::string Attribute(const std::string& element, const std::string& name)
{
    const std::string key = " " + name + "=\"";
    size_t at = element.find(key);
    if (at == std::string::npos) {
        at = element.find("\n" + name + "=\"");
        if (at == std::string::npos)
            at = element.find("\t" + name + "=\"");
        if (at == std::string::npos)
            return std::string();
    }
    at += key.size();
    const size_t end = element.find('"', at);
    return end == std::string::npos ? std::string() : element.substr(at, end - at);
}

TEST_P(ProductResources, ManifestAsksForCommonControlsSix)
{
    const std::vector<BYTE> bytes = m_module->Bytes(RT_MANIFEST, MAKEINTRESOURCEA(kManifestId));
    ASSERT_FALSE(bytes.empty()) << "no manifest (type 24, id 1)";
    const std::string xml(bytes.begin(), bytes.end());
    const size_t dependency = xml.find("<dependentAssembly>");
    ASSERT_NE(dependency, std::string::npos) << xml;
    const size_t start = xml.find("<assemblyIdentity", dependency);
    ASSERT_NE(start, std::string::npos) << xml;
    const size_t end = xml.find("/>", start);
    ASSERT_NE(end, std::string::npos) << xml;
    const std::string identity = xml.substr(start, end - start);
    EXPECT_EQ(Attribute(identity, "type"), "win32");
    EXPECT_EQ(Attribute(identity, "name"), "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(Attribute(identity, "version"), "6.0.0.0");
    EXPECT_EQ(Attribute(identity, "publicKeyToken"), "6595b64144ccf1df");
}

// The text of the first element with this tag, and its xmlns; empty when there is none.
std::pair<std::string, std::string> Element(const std::string& xml, const std::string& tag)
{
    const size_t start = xml.find("<" + tag + " ");
    const size_t open = xml.find('>', start);
    const size_t close = xml.find("</" + tag + ">", open);
    if (start == std::string::npos || open == std::string::npos || close == std::string::npos)
        return {};
    return {xml.substr(open + 1, close - open - 1),
            Attribute(xml.substr(start, open - start), "xmlns")};
}

// Per-monitor v2 first, the older forms for the systems before it, as Microsoft documents.
TEST_P(ProductResources, ManifestDeclaresPerMonitorDpiAwareness)
{
    const std::vector<BYTE> bytes = m_module->Bytes(RT_MANIFEST, MAKEINTRESOURCEA(kManifestId));
    const std::string xml(bytes.begin(), bytes.end());
    EXPECT_NE(xml.find("<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">"),
              std::string::npos);
    EXPECT_EQ(Element(xml, "dpiAware"),
              std::make_pair(std::string("true/pm"),
                             std::string("http://schemas.microsoft.com/SMI/2005/WindowsSettings")));
    EXPECT_EQ(Element(xml, "dpiAwareness"),
              std::make_pair(std::string("PerMonitorV2, PerMonitor"),
                             std::string("http://schemas.microsoft.com/SMI/2016/WindowsSettings")));
}

// What Explorer shows in the file's properties.
TEST_P(ProductResources, VersionInfoNamesTheProductAndItsVersion)
{
    DWORD dwHandle = 0;
    const DWORD cb = ::GetFileVersionInfoSizeA(m_path.c_str(), &dwHandle);
    ASSERT_GT(cb, 0u) << "no VERSIONINFO";
    std::vector<BYTE> info(cb);
    ASSERT_TRUE(::GetFileVersionInfoA(m_path.c_str(), 0, cb, info.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&pFixed), &cbFixed));
    ASSERT_GE(cbFixed, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(pFixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(pFixed->dwFileVersionMS, MAKELONG(0, 1)) << "version 1.0";

    const auto text = [&](const char* name) {
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        char* pText = nullptr;
        UINT cch = 0;
        if (!::VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&pText), &cch))
            return std::string();
        return std::string(pText);
    };
    EXPECT_EQ(text("ProductName"), "Quillmix");
    EXPECT_EQ(text("FileDescription"), "Quillmix (Random) screen saver");
    EXPECT_EQ(text("ProductVersion"), "1.0.0");
    EXPECT_EQ(text("OriginalFilename"), "Quillmix.scr");
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, ProductResources, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build>& param) {
                             return std::string(param.param.name);
                         });

// The reader itself must stop at the end of a resource, however the bytes claim more.
TEST(ResourceReader, StopsAtTheEndOfTheBytes)
{
    const BYTE unterminated[] = {'A', 0, 'B', 0};
    ResourceReader text(unterminated, sizeof(unterminated));
    EXPECT_THROW(text.String(), std::runtime_error);

    const BYTE ordinalCut[] = {0xFF, 0xFF};
    ResourceReader ordinal(ordinalCut, sizeof(ordinalCut));
    EXPECT_THROW(ordinal.NameOrOrdinal(), std::runtime_error);

    // A template that announces one control more than it holds.
    const BYTE header[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80,
                           1, 0, 0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_THROW(ParseDialogEx(header, sizeof(header)), std::runtime_error);
}

}  // namespace
