#pragma once
// The PostgreSQL driver: the tables of an alias live on a database server,
// reached through libpq with the alias's CONNINFO (keywords or a URI; the
// PG* environment variables, ~/.pgpass and service files work as libpq has
// them). The program never asks for a password, and no message shows one.
//
// Every statement runs on its own, committed when it returns: no
// transaction is ever opened. Text crosses the border in UTF-8, converted
// by the program's own Windows-1250 table, as the SQLite driver converts
// it, so both drivers store the same characters for every byte. The
// session is set up when the connection opens, for this connection alone,
// and nothing is created in the database:
//   - client_encoding UTF8, standard_conforming_strings on (a backslash in
//     a literal is a backslash, as in the workshop's dialect);
//   - DateStyle ISO, MDY: '06/12/2013' is 12 June 2013, and dates read back
//     as 2013-06-12;
//   - synchronous_commit off until durable commits are asked for.
// The dialect points of PostgresDialect are rewritten on the way in.
//
// The run lock is a session advisory lock, kRunLockKey, held by the server
// for this connection: it spans workstations, and goes when the connection
// does, however the workstation ends.
//
// A connection the server has closed (a restart, an idle time-out) is
// opened again before the next statement; a statement that was under way
// when it broke fails with the loss, and is not sent again.

#include "db/Connection.h"
#include "db/ShapeMemo.h"
#include "db/StatementShape.h"

#include <libpq-fe.h>

#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace db {

struct PgConnCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using PgConnHandle = std::unique_ptr<PGconn, PgConnCloser>;

struct PgResultCloser {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResultHandle = std::unique_ptr<PGresult, PgResultCloser>;

class PostgresConnection final : public Connection {
public:
    // The key of the advisory lock that is the run lock, for every tool
    // that must keep out of a run: pg_try_advisory_lock(kRunLockKey).
    static constexpr long long kRunLockKey = 0x6D6D77'12062013LL;

    // Connects with a libpq connection string (Windows-1250, as the alias
    // file gives it). A server that cannot be reached or refuses the login
    // raises EDBEngineError naming the server and the database.
    static std::unique_ptr<PostgresConnection> Open(const std::string& conninfo);

    // The connection string with the value of every password in it masked,
    // for a message; a string libpq cannot read is not shown at all.
    static std::string MaskedConninfo(const std::string& conninfo);

    ~PostgresConnection() override;

    ResultSet Select(const std::string& sql, const std::vector<Value>& params) override;
    int Execute(const std::string& sql, const std::vector<Value>& params) override;
    TableInfo DescribeTable(const std::string& table) override;
    bool TryLockRun() override;
    void ReleaseRunLock() override;
    // synchronous_commit on or off for the statements that follow.
    void SetDurableCommits(bool durable) override;

    // Statements prepared on the server for this connection.
    std::size_t PreparedStatements() const { return FPrepared.size(); }
    // "server:port, database name", as the messages name them.
    std::string Describe() const;

private:
    struct Prepared {
        std::string name;
        std::vector<std::string> columns; // the result's, as Select names them
    };
    // A statement ready to run: prepared under a name, with its values.
    struct Run {
        const Prepared* prepared = nullptr;
        std::vector<std::optional<std::string>> values; // UTF-8; nullopt is NULL
    };

    explicit PostgresConnection(PgConnHandle connection);

    void SetUpSession();
    // pg_try_advisory_lock of the run lock's key on this session.
    bool TakeRunLock();
    // Reopens a connection the server has closed; raises when it cannot.
    void EnsureConnected();
    Run PrepareRun(const std::string& sql, const std::vector<Value>& params);
    // Prepares and describes a statement under a name ("" for the unnamed
    // one): its result's column names, or nullopt with the server's error.
    std::optional<std::vector<std::string>> PrepareNamed(const std::string& name,
                                                         const std::string& serverSql,
                                                         const std::vector<Oid>& types,
                                                         PgResultHandle& error);
    // Prepares a statement under a name of its own, kept for reuse;
    // nullptr with the server's error when it is rejected.
    const Prepared* PrepareShape(const std::string& serverSql, const std::vector<Oid>& types,
                                 const std::string& key, PgResultHandle& error);
    // Prepares the text unnamed, for one use; nullptr with the server's
    // error when it is rejected.
    const Prepared* PrepareOnce(const std::string& serverSql, const std::vector<Oid>& types,
                                PgResultHandle& error);
    PgResultHandle Exec(const Run& run);
    void AwaitAnswer();
    // Runs a statement of the driver's own, raising on failure.
    PgResultHandle Command(const char* sql);
    [[noreturn]] void Fail(const PGresult* result) const;
    [[noreturn]] void FailConnection(const std::string& what) const;
    bool Lost() const;

    PgConnHandle FConnection;
    ShapeMemo FShapes;
    // Prepared statements by their key (server text and parameter types),
    // least recently used last.
    std::list<std::pair<std::string, Prepared>> FPreparedOrder;
    std::unordered_map<std::string, std::list<std::pair<std::string, Prepared>>::iterator>
        FPrepared;
    Prepared FOnce; // the unnamed statement
    unsigned long FNextName = 0;
    std::vector<const char*> FValuePointers; // Exec's, kept for the next
    bool FDurable = false;
    bool FLocked = false;
};

} // namespace db
