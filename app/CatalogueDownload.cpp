#include "app/CatalogueDownload.h"

#include "net/HttpClient.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <QRandomGenerator>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#ifndef MMW_DEFAULT_UPDATE_HOST
#error "MMW_DEFAULT_UPDATE_HOST must name the update server"
#endif

namespace app {
namespace {

constexpr std::size_t kPartSuffixLength = 6;
constexpr const char kPartSuffixCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A part file younger than this may belong to a download running beside
// this one; an older one was left by a download that was killed.
constexpr auto kStalePartAge = std::chrono::hours(1);

bool IsPartSuffixCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Removes the stale part files of target. Best effort: what cannot be read
// or removed stays, and the download goes on.
void RemoveStaleParts(const std::string& target) {
    namespace fs = std::filesystem;
    const fs::path targetPath(platform::SystemPath(target));
    const std::string prefix = targetPath.filename().string() + ".";
    const fs::path directory =
        targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
    const auto staleBefore = fs::file_time_type::clock::now() - kStalePartAge;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kPartSuffixLength ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                         IsPartSuffixCharacter))
            continue;
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || it->is_symlink(entryError))
            continue;
        const auto changed = it->last_write_time(entryError);
        if (entryError || changed >= staleBefore)
            continue;
        fs::remove(it->path(), entryError);
    }
}

// The temporary file of one download: deleted unless it was put in place.
class PartFile {
public:
    // Made with 0666 for the umask to narrow, as every file the program
    // writes; mkstemp would give 0600, and another user of the program's
    // directory could not read the catalogue once it is in place.
    explicit PartFile(const std::string& target) {
        RemoveStaleParts(target);
        constexpr int kAttempts = 100;
        std::string path;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            path = target + ".";
            for (std::size_t i = 0; i < kPartSuffixLength; ++i)
                path += kPartSuffixCharacters[QRandomGenerator::global()->bounded(
                    static_cast<quint32>(sizeof kPartSuffixCharacters - 1))];
            const int descriptor =
                platform::FileOpen(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor >= 0) {
                ::close(descriptor);
                FPath = path;
                return;
            }
            if (errno != EEXIST)
                break;
        }
        throw platform::EFileError("Cannot create file " + path + ": " + std::strerror(errno));
    }
    ~PartFile() {
        if (!FPath.empty())
            platform::DeleteFile(FPath);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& Path() const { return FPath; }

    // Flushes the file and renames it over target, then flushes the
    // directory, so that after a power cut target is either the old file or
    // the whole new one.
    void Replace(const std::string& target) {
        Sync(FPath, O_RDONLY);
        if (!platform::RenameFile(FPath, target))
            throw platform::EFileError("Cannot rename " + FPath + " to " + target + ": " +
                                       std::strerror(errno));
        FPath.clear();
        Sync(platform::ExtractFileDir(target), O_RDONLY | O_DIRECTORY);
    }

private:
    static void Sync(const std::string& path, int flags) {
        const int descriptor = platform::FileOpen(path, flags | O_CLOEXEC);
        if (descriptor < 0 || ::fsync(descriptor) != 0) {
            const int error = errno;
            if (descriptor >= 0)
                ::close(descriptor);
            throw platform::EFileError("Cannot flush " + path + ": " + std::strerror(error));
        }
        ::close(descriptor);
    }

    std::string FPath;
};

// Whether the reply header (status line and header lines, as the client
// collected them) declares the body's length. The client reads the value
// itself; this only tells an absent header from a declared 0.
bool DeclaresLength(std::string_view header) {
    while (!header.empty()) {
        const std::size_t end = header.find('\n');
        std::string_view line = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        const std::size_t blank = line.find(' ');
        if (platform::AnsiSameText(line.substr(0, blank), "Content-Length:"))
            return true;
    }
    return false;
}

} // namespace

std::string UpdateHost() {
    const QByteArray host = qgetenv("MMW_UPDATE_HOST");
    return host.isEmpty() ? std::string(MMW_DEFAULT_UPDATE_HOST) : host.toStdString();
}

std::string UpdateAddress() {
    return "http://" + UpdateHost() + kUpdatePath;
}

void DownloadCatalogue(const std::string& url, const std::string& target,
                       const DownloadLimits& limits) {
    PartFile part(target);
    {
        auto client = std::make_unique<THttpClient>(nullptr);
        client->setInputFileMode(true);
        client->setBody(part.Path());
        client->setTimeOut(limits.timeOutMs);
        client->setRateWindow(limits.rateWindowMs);
        client->setMinRate(limits.minRate);
        client->Get(url);
        const int status = client->ReplyCode;
        if (status < 200 || status > 299)
            throw platform::Exception("The update server answered with status " +
                                      std::to_string(status));
        if (DeclaresLength(client->getHeader())) {
            const auto received = std::filesystem::file_size(platform::SystemPath(part.Path()));
            if (received != static_cast<std::uintmax_t>(client->ContentLength))
                throw platform::Exception("The reply ended after " + std::to_string(received) +
                                          " of " + std::to_string(client->ContentLength) +
                                          " bytes");
        }
    }
    part.Replace(target);
}

} // namespace app
