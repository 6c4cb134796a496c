#include "config/SaverListItem.h"

SaverListItem SaverListItem::FromPath(const AnsiString& path, const WideString& name)
{
    SaverListItem item;
    item.m_strName = name;
    const std::string& text = path.str();
    const size_t slash = text.find_last_of("\\/");
    if (slash != std::string::npos) {
        // Drive and folder keep their separator except one trailing backslash, so a saver
        // in a drive's root keeps just "C:".
        item.m_strFolder = AnsiString(text.substr(0, text[slash] == '\\' ? slash : slash + 1));
        item.m_strFile = AnsiString(text.substr(slash + 1));
    } else if (text.length() >= 2 && text[1] == ':') {
        item.m_strFolder = AnsiString(text.substr(0, 2));
        item.m_strFile = AnsiString(text.substr(2));
    } else {
        item.m_strFile = path;
    }
    return item;
}

AnsiString SaverListItem::GetPath() const
{
    AnsiString path = m_strFolder;
    if (path.empty() || path.str().back() != '\\')
        path += '\\';
    path += m_strFile;
    return path;
}
