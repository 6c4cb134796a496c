#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

#include <vector>

// Registry access by text path: "HKCU\Software\...", a root name, a backslash and the
// subkey. Each function opens the key, does one thing and closes it again.

// The predefined root of the path (nullptr when unrecognised) and the subkey after it.
// Root names are compared with case: "HKCU" is a root, "hkcu" is not.
HKEY RegParseKeyPath(const AnsiString& keyPath, AnsiString* pSubKey);
// An open key (the caller closes it), or nullptr; with bCreate, missing keys are made.
HKEY RegOpenKeyPath(const AnsiString& keyPath, bool bCreate);
bool RegKeyPathExists(const AnsiString& keyPath);
// Removes the key with all its values and subkeys; never a whole root (empty subkey).
bool RegDeleteKeyPath(const AnsiString& keyPath);
// Deletes one value of the key; true when it is gone, also when it was never there.
bool RegDeleteValuePath(const AnsiString& keyPath, const char* pszName);
bool RegWriteDword(const AnsiString& keyPath, const char* pszName, DWORD dwValue);
// REG_SZ with its terminating NUL; an empty text is stored as no bytes at all.
bool RegWriteString(const AnsiString& keyPath, const char* pszName, const AnsiString& value);
// Zero-fills the buffer, then reads the value's data into it, whatever its type. Data
// longer than the buffer fails to read (the buffer stays zero); data that fills the
// buffer exactly is not NUL-terminated, so read text with RegReadText instead.
bool RegReadValue(const AnsiString& keyPath, const char* pszName, void* pBuffer, DWORD cbBuffer);
// The value's stored type (REG_SZ, REG_DWORD, ...); false when there is no such value.
bool RegGetValueType(const AnsiString& keyPath, const char* pszName, DWORD* pdwType);
// A value of at most 4 bytes, little-endian, missing high bytes zero; longer data fails.
bool RegReadDword(const AnsiString& keyPath, const char* pszName, DWORD* pdwValue);
// The number of values; a missing key is created and counts 0.
DWORD RegCountValues(const AnsiString& keyPath);
bool RegGetValueName(const AnsiString& keyPath, DWORD dwIndex, AnsiString* pName);

// The value's data, whatever its type, as text up to its first NUL, cut so that it would
// fit a buffer of cbBuffer bytes with its terminator (at most cbBuffer - 1 characters).
// Data of any length reads; the text is empty when the value cannot be read.
bool RegReadText(const AnsiString& keyPath, const char* pszName, AnsiString* pText, DWORD cbBuffer);

// One value of a key read as text, by RegReadTextValues.
struct RegTextValue {
    AnsiString name;
    AnsiString text;
};
// Every value of the key, in enumeration order, with its name and its data as
// RegReadText gives it, all in one opening of the key (the key is made when missing, as
// RegCountValues makes it). A value whose name or data cannot be read is left out.
std::vector<RegTextValue> RegReadTextValues(const AnsiString& keyPath, DWORD cbBuffer);
