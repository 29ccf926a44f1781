#include "platform/FileLock.h"

#include "platform/Exception.h"
#include "platform/FileServices.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock(const std::string& path) {
    if (Locked())
        return true;
    const int descriptor = FileOpen(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0)
        throw EFileError("Cannot open file " + path + ": " + std::strerror(errno));
    // An open-file-description lock: unlike a classic record lock, a second
    // descriptor of the same process conflicts with it, and closing some
    // other descriptor of the file does not release it.
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (::fcntl(descriptor, F_OFD_SETLK, &range) == 0) {
        FDescriptor = descriptor;
        return true;
    }
    const int error = errno;
    ::close(descriptor);
    if (error == EAGAIN || error == EACCES)
        return false;
    throw EFileError("Cannot lock file " + path + ": " + std::strerror(error));
}

void FileLock::Unlock() {
    if (FDescriptor >= 0) {
        ::close(FDescriptor); // releases the lock
        FDescriptor = -1;
    }
}

} // namespace platform
