#include "settings/SaverHealthRecord.h"

#include "settings/NativePath.h"

namespace {

// The layout's version: a record of another version is none of this program's.
constexpr DWORD kRecordFormat = 1;
constexpr DWORD kFlagHasExitCode = 1;
// The two top bits of a status code give its severity (2 warning, 3 error); the next one
// marks a code of an application rather than of the system.
constexpr unsigned kSeverityShift = 30;
constexpr DWORD kSeverityWarning = 2;
constexpr DWORD kCustomerBit = 0x20000000;
constexpr unsigned kBitsPerByte = 8;

struct FileStamp {
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;
};

FileStamp ReadFileStamp(const AnsiString& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExA(NativePath(path).c_str(), GetFileExInfoStandard, &data))
        return stamp;
    stamp.size = static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    stamp.lastWrite = static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 |
        data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

void PutNumber(std::vector<BYTE>& bytes, ULONGLONG value, size_t cb)
{
    for (size_t i = 0; i < cb; ++i)
        bytes.push_back(static_cast<BYTE>(value >> (kBitsPerByte * i)));
}

// Little-endian numbers read one after another from a buffer of known size.
class ByteReader {
public:
    explicit ByteReader(const BYTE* pData) noexcept
        : m_pData(pData)
    {
    }
    ULONGLONG Take(size_t cb) noexcept
    {
        ULONGLONG value = 0;
        for (size_t i = 0; i < cb; ++i)
            value |= static_cast<ULONGLONG>(m_pData[m_nAt + i]) << (kBitsPerByte * i);
        m_nAt += cb;
        return value;
    }
    DWORD Dword() noexcept { return static_cast<DWORD>(Take(sizeof(DWORD))); }
    ULONGLONG Qword() noexcept { return Take(sizeof(ULONGLONG)); }

private:
    const BYTE* m_pData;
    size_t m_nAt = 0;
};

bool IsKnownFault(DWORD dwFault) noexcept
{
    switch (static_cast<SaverFault>(dwFault)) {
    case SaverFault::CouldNotStart:
    case SaverFault::Crashed:
    case SaverFault::QuitAtOnce:
    case SaverFault::IgnoredInput:
        return true;
    case SaverFault::CannotPreview:
        // Never stored as such: an older version would take the record for none.
        return false;
    }
    return false;
}

}  // namespace

bool IsExceptionExitCode(DWORD dwExitCode) noexcept
{
    // -1 and other negative numbers a program returns carry the customer bit.
    return dwExitCode >> kSeverityShift >= kSeverityWarning && (dwExitCode & kCustomerBit) == 0;
}

void SaverHealthRecord::AddFailure(SaverFault fault, bool bHasExitCode, DWORD dwExitCode,
                                   ULONGLONG ftNow)
{
    const bool bSame = m_nFailedInRow > 0 && fault == m_fault;
    if (!bSame)
        m_nSameInRow = 1;
    else if (m_nSameInRow < kMaxFailureCount)
        ++m_nSameInRow;
    if (m_nFailedInRow < kMaxFailureCount)
        ++m_nFailedInRow;
    m_fault = fault;
    m_bHasExitCode = bHasExitCode;
    m_dwExitCode = bHasExitCode ? dwExitCode : 0;
    m_ftWhen = ftNow;
}

void SaverHealthRecord::StampFile(const AnsiString& path)
{
    const FileStamp stamp = ReadFileStamp(path);
    m_nFileSize = stamp.size;
    m_ftFileWrite = stamp.lastWrite;
}

bool SaverHealthRecord::IsOfFile(const AnsiString& path) const
{
    const FileStamp stamp = ReadFileStamp(path);
    return stamp.size == m_nFileSize && stamp.lastWrite == m_ftFileWrite;
}

std::vector<BYTE> SaverHealthRecord::ToBytes() const
{
    std::vector<BYTE> bytes;
    bytes.reserve(kSaverHealthRecordSize);
    PutNumber(bytes, kRecordFormat, sizeof(DWORD));
    const SaverFault stored =
        m_fault == SaverFault::CannotPreview ? SaverFault::QuitAtOnce : m_fault;
    PutNumber(bytes, static_cast<DWORD>(stored), sizeof(DWORD));
    PutNumber(bytes, m_nFailedInRow, sizeof(DWORD));
    PutNumber(bytes, m_nSameInRow, sizeof(DWORD));
    PutNumber(bytes, m_bHasExitCode ? kFlagHasExitCode : 0, sizeof(DWORD));
    PutNumber(bytes, m_dwExitCode, sizeof(DWORD));
    PutNumber(bytes, m_ftWhen, sizeof(ULONGLONG));
    PutNumber(bytes, m_nFileSize, sizeof(ULONGLONG));
    PutNumber(bytes, m_ftFileWrite, sizeof(ULONGLONG));
    return bytes;
}

bool SaverHealthRecord::FromBytes(const BYTE* pData, size_t cbData, SaverHealthRecord* pRecord)
{
    if (pData == nullptr || cbData != kSaverHealthRecordSize)
        return false;
    ByteReader in(pData);
    SaverHealthRecord record;
    const DWORD dwFormat = in.Dword();
    const DWORD dwFault = in.Dword();
    record.m_nFailedInRow = in.Dword();
    record.m_nSameInRow = in.Dword();
    const DWORD dwFlags = in.Dword();
    record.m_dwExitCode = in.Dword();
    record.m_ftWhen = in.Qword();
    record.m_nFileSize = in.Qword();
    record.m_ftFileWrite = in.Qword();
    if (dwFormat != kRecordFormat || !IsKnownFault(dwFault) || record.m_nFailedInRow == 0 ||
        record.m_nFailedInRow > kMaxFailureCount || record.m_nSameInRow == 0 ||
        record.m_nSameInRow > record.m_nFailedInRow || (dwFlags & ~kFlagHasExitCode) != 0 ||
        (dwFlags == 0 && record.m_dwExitCode != 0) || record.m_ftWhen == 0)
        return false;
    record.m_fault = static_cast<SaverFault>(dwFault);
    record.m_bHasExitCode = dwFlags == kFlagHasExitCode;
    if (pRecord != nullptr)
        *pRecord = record;
    return true;
}
