#pragma once
// A workshop database to try the program on and to test against: the tables
// of schema.sql with three staff members, and the engine alias pointing at
// it. This is the only code that creates a database file; the engine itself
// only opens existing ones.

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
};

} // namespace db
