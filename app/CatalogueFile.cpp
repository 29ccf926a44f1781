#include "app/CatalogueFile.h"

#include "platform/FileServices.h"

namespace app {

std::string CataloguePath() {
    return platform::ExtractFileDir(platform::ExeName()) + "/mmw.csv";
}

std::string CatalogueTarget(const std::string& programDir, bool programDirWritable,
                            const std::string& cacheDir) {
    return programDirWritable ? programDir + "/mmw.csv" : cacheDir + "/mmw/mmw.csv";
}

std::string CatalogueTarget() {
    const std::string programDir = platform::ExtractFileDir(platform::ExeName());
    const bool writable = platform::DirectoryWritable(programDir);
    const std::string target = CatalogueTarget(
        programDir, writable, writable ? std::string() : platform::UserCacheDirectory());
    // A directory that cannot be made fails the download, which is dropped;
    // the import then says which file it could not open.
    if (!writable)
        platform::ForceDirectories(platform::ExtractFileDir(target));
    return target;
}

std::string CatalogueToImport(const std::string& target, bool downloaded,
                              const std::string& beside) {
    if (downloaded || target == beside || !platform::FileExists(beside))
        return target;
    return beside;
}

std::vector<std::string> SplitLines(std::string_view text) {
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.emplace_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            end += 2;
        else if (end < n)
            end += 1;
        start = end;
    }
    return lines;
}

std::vector<std::string> ReadCatalogue(const std::string& path) {
    // The raw text goes as soon as it is split: only the lines stay in memory
    // while the import runs.
    return SplitLines(platform::ReadWholeFile(path));
}

} // namespace app
