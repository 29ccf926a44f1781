#pragma once
// Test fixtures built in code: a private temporary directory per fixture,
// and environment variables set for the fixture's lifetime. Paths are the
// program's own text (Windows-1250), as every path handed to it.

#include <QTemporaryDir>

#include <optional>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    // The directory, without a trailing "/".
    const std::string& path() const { return FPath; }
    std::string file(const std::string& name) const { return FPath + "/" + name; }

private:
    QTemporaryDir FDir;
    std::string FPath;
};

// Sets (or with nullopt, unsets) an environment variable; restores the old
// value when it goes. The value is the program's text, and the system's
// (UTF-8) in the environment.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

} // namespace testsupport
