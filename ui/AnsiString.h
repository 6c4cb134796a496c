#pragma once
#include "ui/WideString.h"

#include <windows.h>

#include <exception>
#include <string>

// What the string type throws: E_OUTOFMEMORY when memory runs out, E_INVALIDARG for an
// index outside the text.
class AnsiStringError : public std::exception {
public:
    explicit AnsiStringError(HRESULT hr) noexcept
        : m_hr(hr)
    {
    }
    HRESULT Code() const noexcept { return m_hr; }
    const char* what() const noexcept override;

private:
    HRESULT m_hr;
};

// A byte string in the ANSI code page with value semantics: a thin layer over
// std::string that turns its failures into AnsiStringError.
class AnsiString {
public:
    AnsiString() noexcept = default;
    AnsiString(const char* psz);  // NOLINT(google-explicit-constructor): text converts freely
    AnsiString(const char* pch, size_t nLength);
    AnsiString(std::string s) noexcept
        : m_str(std::move(s))
    {
    }  // NOLINT(google-explicit-constructor)

    const char* c_str() const noexcept { return m_str.c_str(); }
    size_t length() const noexcept { return m_str.length(); }
    bool empty() const noexcept { return m_str.empty(); }
    const std::string& str() const noexcept { return m_str; }

    // The character at nIndex; the index equal to the length gives the terminating zero.
    char At(ptrdiff_t nIndex) const;
    // The text in UTF-16, as the system reads it in the ANSI code page.
    WideString Wide() const;

    AnsiString& operator+=(const AnsiString& other);
    AnsiString& operator+=(char ch);

    friend bool operator==(const AnsiString& a, const AnsiString& b) noexcept
    {
        return a.m_str == b.m_str;
    }
    friend bool operator!=(const AnsiString& a, const AnsiString& b) noexcept
    {
        return a.m_str != b.m_str;
    }
    friend AnsiString operator+(AnsiString a, const AnsiString& b) { return a += b; }

private:
    std::string m_str;
};
