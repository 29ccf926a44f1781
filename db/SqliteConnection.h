#pragma once
// The SQLite driver: the tables of an alias live in one file, tables.sqlite,
// in the alias's directory. Statements arrive in Windows-1250 and are handed
// to SQLite as written, in UTF-8, with the two dialect points the program
// relies on made to hold: upper() upper-cases by the Windows-1250 table, and
// a month/day/year literal inserted into a DATE column is stored as an ISO
// date.

#include "db/Connection.h"
#include "db/ShapeMemo.h"
#include "db/StatementCache.h"
#include "db/StatementShape.h"
#include "db/TextWidths.h"

#include "platform/FileLock.h"

#include <sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {

struct SqliteCloser {
    void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

class SqliteConnection final : public Connection {
public:
    static constexpr const char* kFileName = "tables.sqlite";
    // The file beside the tables that a run holds locked.
    static constexpr const char* kRunLockName = "mmw-update.lock";

    // Opens <directory>/tables.sqlite for reading and writing; it is never
    // created here. Failures raise EDBEngineError naming the file.
    static std::unique_ptr<SqliteConnection> Open(const std::string& directory);
    // <directory>/tables.sqlite, with one separator between.
    static std::string TablesFile(const std::string& directory);

    ResultSet Select(const std::string& sql, const std::vector<Value>& params) override;
    int Execute(const std::string& sql, const std::vector<Value>& params) override;
    TableInfo DescribeTable(const std::string& table) override;
    // The run lock is an exclusive lock on kRunLockName in the database's
    // directory: a lock of the open file, which the file system carries to
    // every host that shares the directory.
    bool TryLockRun() override;
    void ReleaseRunLock() override;
    void SetDurableCommits(bool durable) override;

    std::size_t CachedStatements() const { return FStatements.size(); }

    // Tells the driver whether a database directory lies on a network file
    // system; by default the file system is asked. For tests, which can
    // mount no share; nullptr restores the default.
    using NetworkProbe = bool (*)(const std::string& directory);
    static void SetNetworkProbe(NetworkProbe probe);

    // Registers the Windows-1250 upper() on a connection, replacing SQLite's
    // ASCII-only one. Every connection this driver opens has it.
    static void RegisterUpper(sqlite3* database);

private:
    SqliteConnection(SqliteHandle database, std::string directory, bool network)
        : FDatabase(std::move(database)), FDirectory(std::move(directory)), FNetwork(network) {}

    // The prepared statement for a UTF-8 text, from the cache or fresh.
    sqlite3_stmt* Prepare(const std::string& utf8);
    // A fresh statement; nullptr when SQLite rejects the text (its message
    // is then the connection's error).
    StatementHandle Compile(const std::string& utf8, const char*& tail);
    // Checks that nothing but blanks follows the statement, and caches it.
    sqlite3_stmt* Accept(const std::string& utf8, StatementHandle statement, const char* tail);
    // The statement of a shape, from the cache or fresh. A shape SQLite
    // rejects is dropped (reset), and the text as written is prepared.
    sqlite3_stmt* PrepareShape(std::optional<StatementShape>& shape, const std::string& utf8);
    // The statement a call runs: by the shape of its literals when the
    // caller binds nothing of its own (shape set), else as written.
    sqlite3_stmt* PrepareRun(const std::string& sql, const std::vector<Value>& params,
                             std::optional<StatementShape>& shape);
    void BindRun(sqlite3_stmt* statement, const std::vector<Value>& params,
                 const std::optional<StatementShape>& shape);
    void Bind(sqlite3_stmt* statement, const std::vector<Value>& params);
    void BindLiterals(sqlite3_stmt* statement, const std::vector<Value>& literals);
    // A UTF-8 statement with its month/day/year literals of DATE columns
    // made ISO dates.
    std::string RewriteDates(const std::string& utf8);
    // One step: true on a row, false at the end; a failure raises.
    bool StepRow(sqlite3_stmt* statement);
    std::optional<std::vector<ColumnInfo>> Columns(const std::string& table);
    [[noreturn]] void Fail() const;

    // Declared first, so the statements (which belong to it) go before it.
    SqliteHandle FDatabase;
    StatementCache FStatements;
    ShapeMemo FShapes;
    // Column lists of the tables date literals were checked against,
    // keyed by the upper-cased table name.
    std::map<std::string, std::vector<ColumnInfo>> FColumns;
    // The widths of text columns, held on what inserts write.
    TextWidths FWidths;
    std::string FDirectory; // Windows-1250, as the alias gives it
    bool FNetwork;          // on a network file system: rollback journal
    platform::FileLock FRunLock;
};

} // namespace db
