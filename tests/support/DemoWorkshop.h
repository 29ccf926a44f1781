#pragma once
// A workshop database of its own for one test: a temporary directory holding
// the demo database (three staff members, empty catalogue) and an engine
// alias file whose ZIRKONAL_KALVOMER_3 points at it. DBENGINE_CONFIG names
// that file while the fixture lives, so the engine's objects find the alias
// exactly as the program does.
//
// exec/scalar/rows reach the file directly through SQLite, past the engine:
// UTF-8 SQL in, UTF-8 text out, for setting a test up and for checking what
// the file really holds.

#include "db/DemoDatabase.h"
#include "tests/support/TempDir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <string>

namespace testsupport {

class DemoWorkshop {
public:
    static constexpr const char* kAliasName = db::DemoDatabase::kAliasName;

    DemoWorkshop();

    // The alias's PATH: the directory holding tables.sqlite.
    const std::string& databaseDir() const { return FDatabaseDir; }
    const std::string& aliasFile() const { return FAliasFile; }
    std::string tablesFile() const;
    // A scratch directory beside the database, free for the test's files.
    std::string file(const std::string& name) const { return FDir.file(name); }

    // Runs UTF-8 statements (several, separated by ";"); throws
    // std::runtime_error with SQLite's message when one fails.
    void exec(const std::string& utf8Sql) const;
    // The first column of the first row as text; a null QString for a
    // NULL or when there is no row.
    QString scalar(const std::string& utf8Sql) const;
    // Every row, every column as text (NULL as a null QString).
    QList<QStringList> rows(const std::string& utf8Sql) const;

private:
    TempDir FDir;
    std::string FDatabaseDir;
    std::string FAliasFile;
    ScopedEnv FConfig;
};

} // namespace testsupport
