#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

// Registry access by text path: "HKCU\Software\...", a root name, a backslash and the
// subkey. Each function opens the key, does one thing and closes it again.

// The predefined root of the path (nullptr when unrecognised) and the subkey after it.
HKEY RegParseKeyPath(const AnsiString& keyPath, AnsiString* pSubKey);
// An open key (the caller closes it), or nullptr; with bCreate, missing keys are made.
HKEY RegOpenKeyPath(const AnsiString& keyPath, bool bCreate);
bool RegKeyPathExists(const AnsiString& keyPath);
bool RegDeleteKeyPath(const AnsiString& keyPath);
bool RegWriteDword(const AnsiString& keyPath, const char* pszName, DWORD dwValue);
bool RegWriteString(const AnsiString& keyPath, const char* pszName, const AnsiString& value);
// Zero-fills the buffer, then reads the value's data into it, whatever its type.
bool RegReadValue(const AnsiString& keyPath, const char* pszName, void* pBuffer, DWORD cbBuffer);
bool RegReadDword(const AnsiString& keyPath, const char* pszName, DWORD* pdwValue);
DWORD RegCountValues(const AnsiString& keyPath);
bool RegGetValueName(const AnsiString& keyPath, DWORD dwIndex, AnsiString* pName);
