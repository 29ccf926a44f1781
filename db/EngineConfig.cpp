#include "db/EngineConfig.h"

#include "db/EDBEngineError.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <cstdlib>

namespace db {
namespace {

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

std::optional<std::string> EngineConfig::SectionName(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    const auto last = line.find_last_not_of(" \t");
    if (first == std::string_view::npos || line[first] != '[' || line[last] != ']' || last == first)
        return std::nullopt;
    return std::string(line.substr(first + 1, last - first - 1));
}

std::string EngineConfig::FilePath() {
    if (const char* path = std::getenv("DBENGINE_CONFIG"); path && *path)
        return platform::ProgramPath(path);
    const std::string own = platform::HomeDirectory() + "/.config/dbengine/aliases.ini";
    if (platform::FileExists(own))
        return own;
    return kMachineFile;
}

std::vector<std::string> EngineConfig::AliasParams(const std::string& alias) {
    const std::string path = FilePath();
    std::string content;
    try {
        // The file is the system's text (UTF-8); its PATH values are paths
        // like any other of the program from here on.
        content = platform::Utf8ToWin1250(platform::ReadWholeFile(path));
    } catch (const platform::Exception& e) {
        throw EDBEngineError("Unknown alias: " + alias +
                             " (the engine configuration cannot be read: " + e.Message() + ")");
    }

    std::vector<std::string> params;
    bool inSection = false;
    bool found = false;
    std::string_view rest(content);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (IsBlank(line) || line.front() == ';' || line.front() == '#')
            continue;
        if (auto section = SectionName(line)) {
            // Only the first section of a name counts; a later duplicate is
            // ignored rather than merged.
            if (found)
                break;
            inSection = platform::AnsiSameText(*section, alias);
            found = inSection;
            continue;
        }
        if (inSection && line.find('=') != std::string_view::npos)
            params.emplace_back(line);
    }
    if (!found)
        throw EDBEngineError("Unknown alias: " + alias);
    return params;
}

std::optional<std::string> EngineConfig::Parameter(const std::vector<std::string>& params,
                                                   std::string_view name) {
    for (const std::string& line : params) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && std::string_view(line).substr(0, eq) == name)
            return line.substr(eq + 1);
    }
    return std::nullopt;
}

} // namespace db
