#include "tests/support/ReadOnlyPath.h"

#include "platform/FileServices.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

ReadOnlyPath::ReadOnlyPath(const std::string& path) : FPath(platform::SystemPath(path)) {
    auto fail = [this](const char* what) {
        throw std::runtime_error(std::string(what) + " " + FPath + ": " + std::strerror(errno));
    };
    if (::geteuid() == 0) {
        if (::mount(FPath.c_str(), FPath.c_str(), nullptr, MS_BIND, nullptr) != 0)
            fail("cannot bind-mount");
        FMounted = true;
        FActive = true;
        if (::mount(nullptr, FPath.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
            0) {
            Restore();
            fail("cannot remount read-only");
        }
        return;
    }
    struct stat status {};
    if (::stat(FPath.c_str(), &status) != 0)
        fail("cannot examine");
    FMode = status.st_mode & 07777;
    if (::chmod(FPath.c_str(), FMode & ~0222U) != 0)
        fail("cannot change the mode of");
    FActive = true;
}

ReadOnlyPath::~ReadOnlyPath() {
    Restore();
}

void ReadOnlyPath::Restore() {
    if (!FActive)
        return;
    FActive = false;
    if (FMounted)
        ::umount2(FPath.c_str(), MNT_DETACH);
    else
        ::chmod(FPath.c_str(), FMode);
}

} // namespace testsupport
