#include "db/Connection.h"

#include "db/EDBEngineError.h"
#include "db/EngineConfig.h"
#include "db/SqliteConnection.h"

namespace db {

std::unique_ptr<Connection> OpenConnection(const std::string& aliasName,
                                           const std::vector<std::string>& aliasParams) {
    // SQLite is the only driver: every alias is a directory holding
    // tables.sqlite. A server driver would be picked here by a parameter of
    // the alias.
    const auto path = EngineConfig::Parameter(aliasParams, "PATH");
    if (!path)
        throw EDBEngineError("Alias " + aliasName + " has no PATH parameter");
    return SqliteConnection::Open(*path);
}

} // namespace db
