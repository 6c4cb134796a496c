// Real folders and files for the settings and catalog tests, laid out under the Windows
// temporary directory and removed again with everything in them.
#pragma once
#include <string>
#include <vector>

namespace settingstest {

class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    // Full path of the folder, without a trailing backslash.
    const std::string& Path() const { return m_path; }
    // Path() + "\" + relative.
    std::string PathOf(const std::string& relative) const;
    // Makes the folder (and the folders above it); returns its full path.
    std::string MakeFolder(const std::string& relative) const;
    // Copies a file in (the folders above it are made); returns its full path.
    std::string CopyIn(const std::string& source, const std::string& relative) const;
    // A plain text file; returns its full path.
    std::string WriteText(const std::string& relative, const std::string& text) const;

private:
    std::string m_path;
};

// Copies fixture savers into the system directory (lower case path, names prefixed) for
// the lifetime of the object. Tests that use it take the CTest resource lock
// "system_folder", so that no other test changes that folder meanwhile.
class SystemFolderSavers {
public:
    SystemFolderSavers(const std::string& prefix, const std::vector<std::string>& fixtureFiles);
    SystemFolderSavers(const SystemFolderSavers&) = delete;
    SystemFolderSavers& operator=(const SystemFolderSavers&) = delete;
    ~SystemFolderSavers();

    const std::vector<std::string>& Paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;
};

// The Windows and the system directory in lower case, as the settings' default folders.
std::string LowerWindowsDirectory();
std::string LowerSystemDirectory();

// Removes a folder with everything in it; links are removed, never followed. Works on
// paths longer than MAX_PATH.
void RemoveTree(const std::string& path);

// Makes a folder "\\?\"-style, so that it may be longer than CreateDirectoryA allows.
bool MakeLongFolder(const std::string& path);
// Copies a file to a path that may be longer than MAX_PATH.
bool CopyToLongPath(const std::string& source, const std::string& target);

// Makes a directory link at linkPath that points to target (a folder). On Windows a
// symbolic link; Wine only pretends to make those, so there a Unix symbolic link is made,
// which Wine shows as a reparse point. False when neither can be made.
bool MakeFolderLink(const std::string& linkPath, const std::string& target);

// The test program's own file: it carries the product's resources, so its string 1 is
// the product's description.
std::string ThisProgramPath();

}  // namespace settingstest
