#include "app/CatalogueDownload.h"

#include "net/HttpClient.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// The temporary file of one download: deleted unless it was put in place.
class PartFile {
public:
    explicit PartFile(const std::string& target) {
        std::string pattern = target + ".XXXXXX";
        const int descriptor = platform::CreateUniqueFile(pattern);
        if (descriptor < 0)
            throw platform::EFileError("Cannot create file " + pattern + ": " +
                                       std::strerror(errno));
        ::close(descriptor);
        FPath = pattern;
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

void DownloadCatalogue(const std::string& url, const std::string& target, int timeOutMs) {
    PartFile part(target);
    {
        auto client = std::make_unique<THttpClient>(nullptr);
        client->setInputFileMode(true);
        client->setBody(part.Path());
        client->setTimeOut(timeOutMs);
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
