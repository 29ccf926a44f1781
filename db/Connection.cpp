#include "db/Connection.h"

#include "db/EDBEngineError.h"
#include "db/EngineConfig.h"
#include "db/PostgresConnection.h"
#include "db/SqliteConnection.h"
#include "platform/Win1250.h"

namespace db {

std::unique_ptr<Connection> OpenConnection(const std::string& aliasName,
                                           const std::vector<std::string>& aliasParams) {
    // The alias names its driver: DRIVER=POSTGRESQL with the server's
    // CONNINFO, or none (the embedded default, also DRIVER=SQLITE), where
    // PATH is the directory holding tables.sqlite.
    const auto driver = EngineConfig::Parameter(aliasParams, "DRIVER");
    if (driver && platform::AnsiSameText(*driver, "POSTGRESQL")) {
        const auto conninfo = EngineConfig::Parameter(aliasParams, "CONNINFO");
        if (!conninfo)
            throw EDBEngineError("Alias " + aliasName + " has no CONNINFO parameter");
        return PostgresConnection::Open(*conninfo);
    }
    if (driver && !driver->empty() && !platform::AnsiSameText(*driver, "SQLITE"))
        throw EDBEngineError("Alias " + aliasName + " names an unknown driver: " + *driver);
    const auto path = EngineConfig::Parameter(aliasParams, "PATH");
    if (!path)
        throw EDBEngineError("Alias " + aliasName + " has no PATH parameter");
    return SqliteConnection::Open(*path);
}

} // namespace db
