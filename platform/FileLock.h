#pragma once
// An exclusive lock on a file, held for the object's lifetime. The lock
// belongs to the open file, not to the process, so two holders in one process
// exclude each other just as two workstations on a shared directory do. A
// process that ends, however it ends, lets its locks go.

#include <string>

namespace platform {

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the file when it is missing and takes the lock without
    // waiting. False when someone else holds it; EFileError when the file
    // cannot be opened or locking fails for another reason.
    bool TryLock(const std::string& path);
    // Lets the lock go (the file stays); nothing happens when none is held.
    void Unlock();
    bool Locked() const { return FDescriptor >= 0; }

private:
    int FDescriptor = -1;
};

} // namespace platform
