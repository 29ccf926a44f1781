#pragma once
// The engine's own configuration file: one INI section per alias, whose
// name=value lines are the alias's parameters. The file is read afresh on
// every call, so an alias added while the program runs is seen at once. It
// is UTF-8, as every file of the system; its lines come back in the
// program's own text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class EngineConfig {
public:
    // The machine-wide file, for every user of the workstation.
    static constexpr const char* kMachineFile = "/etc/dbengine/aliases.ini";

    // $DBENGINE_CONFIG when set and not empty; else the user's own
    // ~/.config/dbengine/aliases.ini when that file exists; else
    // kMachineFile (which need not exist either).
    static std::string FilePath();

    // The parameter lines of an alias, in file order and exactly as written
    // (only a line end's carriage return is dropped). Alias names compare
    // without regard to case; lines starting with ";" or "#" are comments and
    // blank lines are skipped. An alias that is not there (or a file that
    // cannot be read) raises EDBEngineError naming the alias.
    static std::vector<std::string> AliasParams(const std::string& alias);

    // The value of the first line whose name is exactly `name`: everything
    // after that line's first "=". nullopt when no line has that name.
    static std::optional<std::string> Parameter(const std::vector<std::string>& params,
                                                std::string_view name);

    // The name of a section line "[NAME]" (blanks around it allowed);
    // nullopt for any other line.
    static std::optional<std::string> SectionName(std::string_view line);
};

} // namespace db
