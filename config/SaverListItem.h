#pragma once
#include "ui/AnsiString.h"
#include "ui/WideString.h"

// The record behind one row of the saver list: what is shown and where the file is.
// Joining m_strFolder, a backslash and m_strFile gives the saver path again.
struct SaverListItem {
    WideString m_strName;  // the saver's description, in UTF-16 to keep every script
    AnsiString m_strFile;  // file name with extension, no folder
    AnsiString m_strFolder;  // drive and folder, without a trailing backslash ("C:" for a root)

    // Splits a saver path into its record; the name is taken as given.
    static SaverListItem FromPath(const AnsiString& path, const WideString& name);
    // The saver path: folder, one backslash, file name.
    AnsiString GetPath() const;
};
