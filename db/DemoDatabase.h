#pragma once
// A workshop database to try the program on and to test against: the tables
// of schema.sql with three staff members, and the engine alias pointing at
// it; or the same tables (schema-postgresql.sql) in a database on a server.
// This is the only code that creates tables; the engine itself only opens
// existing ones.

#include "db/WorkshopTables.h"

#include <string>

namespace db {

class DemoDatabase {
public:
    static constexpr const char* kAliasName = kWorkshopAlias;

    // Creates the directory (and missing parents) and tables.sqlite in it,
    // with the staff:
    //   AD  administrator, password 1234 stored enciphered (KODOWANIE 1)
    //   AP  administrator, plain password ADMIN
    //   PR  staff without administrator rights, plain password PRAC
    // Refuses (platform::Exception) when tables.sqlite exists already; a
    // failed build leaves no file behind.
    static void Create(const std::string& directory);

    static bool Exists(const std::string& directory);
    static std::string TablesFile(const std::string& directory);

    // Writes the alias section [ZIRKONAL_KALVOMER_3] with PATH=directory
    // into the alias file, replacing that alias's old section and keeping
    // every other alias the file holds. Missing parent directories are made.
    static void WriteAliasFile(const std::string& aliasFile, const std::string& directory);

    // Creates the tables and the same staff in the server database a libpq
    // connection string (UTF-8) names, in one transaction. A table that
    // exists is never dropped or written: when any of the five is there,
    // nothing is created and false is returned. A server that cannot be
    // reached raises EDBEngineError naming it, never a password.
    static bool CreateOnServer(const std::string& conninfo);

    // The alias section for a server: DRIVER=POSTGRESQL and CONNINFO, kept
    // beside the file's other aliases as WriteAliasFile keeps them.
    static void WriteServerAliasFile(const std::string& aliasFile, const std::string& conninfo);

private:
    static void WriteAlias(const std::string& aliasFile, const std::string& parameterLines);
};

} // namespace db
