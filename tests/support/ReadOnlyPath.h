#pragma once
// A file or directory that nobody may write while the fixture lives, for the
// user the tests run as. An unprivileged user loses the write permission; for
// root, whom permissions do not stop, the path is bind-mounted read-only over
// itself, as a read-only share or medium would be. Restored when it goes.

#include <string>

namespace testsupport {

class ReadOnlyPath {
public:
    // A path of the program's (Windows-1250). Throws std::runtime_error
    // when it cannot be made read-only.
    explicit ReadOnlyPath(const std::string& path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath&) = delete;
    ReadOnlyPath& operator=(const ReadOnlyPath&) = delete;

    // Makes the path writable again before the fixture goes.
    void Restore();

private:
    std::string FPath; // the system's (UTF-8)
    bool FMounted = false;
    unsigned FMode = 0; // the permissions before, when not mounted
    bool FActive = false;
};

} // namespace testsupport
