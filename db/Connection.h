#pragma once
// The driver seam: everything the engine's objects need of a database, and
// nothing more. Two drivers implement it, chosen by OpenConnection from the
// alias's parameters: the embedded SQLite file (the default) and a
// PostgreSQL server (DRIVER=POSTGRESQL); no caller knows which it talks to.
//
// Every text crossing the seam (statements, names, values, messages) is
// Windows-1250; each driver converts to its storage's encoding itself.
// Every failure is an EDBEngineError.

#include "db/Value.h"

#include <memory>
#include <string>
#include <vector>

namespace db {

struct ResultSet {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows; // each row has columns.size() values
};

struct ColumnInfo {
    std::string name;
    std::string declaredType; // as the table's definition writes it
};

struct TableInfo {
    std::string name;
    std::vector<ColumnInfo> columns;     // in the table's order
    std::vector<std::string> primaryKey; // key columns in key order; empty when none
};

class Connection {
public:
    virtual ~Connection() = default;

    // Runs one statement that returns rows and fetches them all. A statement
    // that returns no columns fails before it runs, so an insert handed to
    // Select never takes effect. params bind to ?1, ?2, ...
    virtual ResultSet Select(const std::string& sql, const std::vector<Value>& params) = 0;

    // Runs one statement to its end; returns the number of rows it changed.
    virtual int Execute(const std::string& sql, const std::vector<Value>& params) = 0;

    // The columns and primary key of a table; fails when there is no such table.
    virtual TableInfo DescribeTable(const std::string& table) = 0;

    // The run lock of this database: one holder at a time, across the
    // processes and workstations that share it. True when this connection
    // took it (or holds it already), false when someone else holds it; any
    // other failure raises. It goes with ReleaseRunLock, or with the
    // connection, however the process ends.
    virtual bool TryLockRun() = 0;
    // Ends the run, however it went: lets the lock go, after tidying what a
    // driver keeps only while it writes. Never raises.
    virtual void ReleaseRunLock() = 0;

    // Commits are relaxed by default: a crash may lose the last ones, never
    // a commit without the ones before it. With durable set, each statement
    // that follows is on disk when it returns, and nothing after it has to
    // succeed for that to hold.
    virtual void SetDurableCommits(bool durable) = 0;
};

// Opens the database an alias describes. aliasParams are the alias's
// parameter lines (name=value) as the engine configuration holds them; the
// alias name only serves the messages.
std::unique_ptr<Connection> OpenConnection(const std::string& aliasName,
                                           const std::vector<std::string>& aliasParams);

} // namespace db
