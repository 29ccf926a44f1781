#pragma once
// A workshop database of its own for one test, and an engine alias file
// whose ZIRKONAL_KALVOMER_3 names it; DBENGINE_CONFIG names that file while
// the fixture lives, so the engine's objects find the alias exactly as the
// program does. The database is the demo database (three staff members,
// empty catalogue) on either driver:
//   - SQLite: tables.sqlite in a temporary directory (the alias's PATH);
//   - PostgreSQL: a database of its own on the test server (TestServer),
//     dropped when the fixture goes.
// The driver is the suite's (MMW_TEST_DRIVER=postgresql, else SQLite), so
// one table of cases runs against both; a test may also ask for one.
//
// exec/scalar/rows reach the database directly, past the engine (SQLite's
// library, or libpq): UTF-8 SQL in, UTF-8 text out, for setting a test up
// and for checking what the database really holds.

#include "db/DemoDatabase.h"
#include "tests/support/PostgresCluster.h"
#include "tests/support/TempDir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <string>

namespace testsupport {

enum class Driver { Sqlite, Postgres };

class DemoWorkshop {
public:
    static constexpr const char* kAliasName = db::DemoDatabase::kAliasName;

    // The suite's driver: MMW_TEST_DRIVER=postgresql, else SQLite.
    static Driver SuiteDriver();
    // The PostgreSQL server of the tests: the one the suite's fixture
    // started (MMW_TEST_POSTGRES names its state file), else one started
    // for this process and stopped when it ends.
    static PostgresCluster& TestServer();

    DemoWorkshop() : DemoWorkshop(SuiteDriver()) {}
    // On a server, `locale` (when not empty) is the database's locale.
    explicit DemoWorkshop(Driver driver, const std::string& locale = {});
    ~DemoWorkshop();
    DemoWorkshop(const DemoWorkshop&) = delete;
    DemoWorkshop& operator=(const DemoWorkshop&) = delete;

    Driver driver() const { return FDriver; }
    bool onServer() const { return FDriver == Driver::Postgres; }
    // SQLite: the alias's PATH, the directory holding tables.sqlite.
    const std::string& databaseDir() const { return FDatabaseDir; }
    std::string tablesFile() const;
    // PostgreSQL: the alias's CONNINFO, and the database's name.
    const std::string& conninfo() const { return FConninfo; }
    const std::string& aliasFile() const { return FAliasFile; }
    // A scratch directory beside the database, free for the test's files.
    std::string file(const std::string& name) const { return FDir.file(name); }

    // Runs UTF-8 statements (several, separated by ";"); throws
    // std::runtime_error with the database's message when one fails.
    void exec(const std::string& utf8Sql) const;
    // The first column of the first row as text; a null QString for a
    // NULL or when there is no row.
    QString scalar(const std::string& utf8Sql) const;
    // Every row, every column as text (NULL as a null QString).
    QList<QStringList> rows(const std::string& utf8Sql) const;

    // Makes every insert into `table` fail with `message` (ASCII), as a
    // rule of the workshop application might.
    void refuseInserts(const std::string& table, const std::string& message) const;

private:
    Driver FDriver;
    TempDir FDir;
    std::string FDatabaseDir;
    std::string FDatabaseName;
    std::string FConninfo;
    std::string FAliasFile;
    ScopedEnv FConfig;
};

} // namespace testsupport
