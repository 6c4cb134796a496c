#pragma once
#include <string>

// Where the tests find what the build made, as Windows paths. The build directories come
// from environment variables that CTest sets (Unix paths, seen by Wine under drive Z:).

// Directory of the fixture savers, e.g. "Z:\...\tests\fixtures".
std::string FixtureDir();
// Full path of one fixture saver by file name.
std::string FixturePath(const std::string& fileName);
// The built Quillmix.scr of this build.
std::string ProductPath();
// A Unix path as Wine sees it on drive Z:.
std::string WindowsPathOf(const std::string& unixPath);
// An environment variable, or "" when unset.
std::string EnvOr(const char* name, const std::string& fallback = "");
// A file's path as a saver's command line spells it, short (8.3), and back; the path
// itself when the system gives no other form.
std::string ShortPathOf(const std::string& path);
std::string LongPathOf(const std::string& path);
