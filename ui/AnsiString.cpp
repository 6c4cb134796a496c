#include "ui/AnsiString.h"

#include <new>

const char* AnsiStringError::what() const noexcept
{
    return m_hr == E_OUTOFMEMORY ? "out of memory" : "index outside the string";
}

AnsiString::AnsiString(const char* psz)
try : m_str(psz != nullptr ? psz : "") {
} catch (const std::bad_alloc&) {
    throw AnsiStringError(E_OUTOFMEMORY);
}

AnsiString::AnsiString(const char* pch, size_t nLength)
try : m_str(pch != nullptr ? std::string(pch, nLength) : std::string()) {
} catch (const std::bad_alloc&) {
    throw AnsiStringError(E_OUTOFMEMORY);
}

char AnsiString::At(ptrdiff_t nIndex) const
{
    if (nIndex < 0 || static_cast<size_t>(nIndex) > m_str.length())
        throw AnsiStringError(E_INVALIDARG);
    return m_str.c_str()[nIndex];
}

WideString AnsiString::Wide() const
{
    if (m_str.empty())
        return WideString();
    const int nBytes = static_cast<int>(m_str.length());
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, m_str.data(), nBytes, nullptr, 0);
    if (cch <= 0)
        return WideString();
    try {
        WideString wide(static_cast<size_t>(cch), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, m_str.data(), nBytes, &wide[0], cch);
        return wide;
    } catch (const std::bad_alloc&) {
        throw AnsiStringError(E_OUTOFMEMORY);
    }
}

AnsiString& AnsiString::operator+=(const AnsiString& other)
{
    try {
        m_str += other.m_str;
    } catch (const std::bad_alloc&) {
        throw AnsiStringError(E_OUTOFMEMORY);
    }
    return *this;
}

AnsiString& AnsiString::operator+=(char ch)
{
    try {
        m_str += ch;
    } catch (const std::bad_alloc&) {
        throw AnsiStringError(E_OUTOFMEMORY);
    }
    return *this;
}
