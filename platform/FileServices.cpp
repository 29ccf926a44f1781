#include "platform/FileServices.h"

#include "platform/Exception.h"
#include "platform/Win1250.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// path is the system's own (UTF-8), straight from the environment.
bool UsableDirectory(const char* path) {
    struct stat st {};
    return path && *path && ::access(path, W_OK | X_OK) == 0 && ::stat(path, &st) == 0 &&
           S_ISDIR(st.st_mode);
}

// Closes a descriptor on every path out.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace

std::string SystemPath(std::string_view path) {
    return Win1250ToUtf8(path);
}

std::string ProgramPath(std::string_view systemPath) {
    return Utf8ToWin1250(systemPath);
}

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    std::string dir;
    const char* env = std::getenv("TMPDIR");
    if (UsableDirectory(env))
        dir = ProgramPath(env);
    else if (UsableDirectory("/tmp"))
        dir = "/tmp";
    else
        return 0;
    if (dir.back() != '/')
        dir.push_back('/');
    if (!buffer || dir.size() + 1 > bufferLength)
        return 0;
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(SystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(SystemPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CreateDir(const std::string& path) {
    return ::mkdir(SystemPath(path).c_str(), 0777) == 0;
}

int FileOpen(const std::string& path, int flags, unsigned mode) {
    return ::open(SystemPath(path).c_str(), flags, static_cast<mode_t>(mode));
}

std::FILE* FileOpenStream(const std::string& path, const char* mode) {
    return std::fopen(SystemPath(path).c_str(), mode);
}

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(SystemPath(from).c_str(), SystemPath(to).c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(SystemPath(path).c_str()) == 0;
}

bool DirectoryWritable(const std::string& path) {
    return DirectoryExists(path) && ::access(SystemPath(path).c_str(), W_OK | X_OK) == 0;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty() || DirectoryExists(path))
        return !path.empty();
    const std::string parent = ExtractFileDir(path);
    if (!parent.empty() && parent != path && !ForceDirectories(parent))
        return false;
    return CreateDir(path) || DirectoryExists(path);
}

std::string HomeDirectory() {
    // The environment's text is UTF-8; paths inside are Windows-1250.
    if (const char* home = std::getenv("HOME"); home && *home)
        return ProgramPath(home);
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return ProgramPath(entry->pw_dir);
    return {};
}

std::string UserCacheDirectory() {
    // A relative value is to be ignored, as the XDG rules say.
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return ProgramPath(cache);
    return HomeDirectory() + "/.cache";
}

std::string ExeName() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        return {};
    buf.resize(static_cast<std::size_t>(n));
    return ProgramPath(buf);
}

std::string ExtractFileDir(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ExtractFileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadWholeFile(const std::string& path) {
    FileHandle fd(FileOpen(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw EFileError("Cannot open file " + path);
    std::string data;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Read error: " + path + ": " + std::strerror(errno));
        }
        if (n == 0)
            break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    return data;
}

void WriteWholeFile(const std::string& path, const std::string& data) {
    FileHandle fd(FileOpen(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        throw EFileError("Cannot create file " + path);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Write error: " + path + ": " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd.release()) != 0)
        throw EFileError("Write error: " + path + ": " + std::strerror(errno));
}

} // namespace platform
