#include "tests/support/DemoWorkshop.h"

#include "platform/FileServices.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

#include <unistd.h>

namespace testsupport {
namespace {

struct Closer {
    void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
struct PgCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct PgClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};

// A connection of its own per call: nothing of the fixture stays open
// between the engine's statements and the test's.
std::unique_ptr<sqlite3, Closer> OpenRaw(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(platform::SystemPath(path).c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> database(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + path + ": " +
                                 (database ? sqlite3_errmsg(database.get()) : sqlite3_errstr(rc)));
    sqlite3_busy_timeout(database.get(), 5000);
    return database;
}

std::unique_ptr<PGresult, PgClearer> PgRun(const std::string& conninfo, const std::string& sql) {
    std::unique_ptr<PGconn, PgCloser> connection(PQconnectdb(conninfo.c_str()));
    if (PQstatus(connection.get()) != CONNECTION_OK)
        throw std::runtime_error(std::string("cannot connect: ") +
                                 PQerrorMessage(connection.get()));
    PQclear(PQexec(connection.get(), "SET client_encoding = 'UTF8'; SET DateStyle = 'ISO, MDY'"));
    std::unique_ptr<PGresult, PgClearer> result(PQexec(connection.get(), sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(PQerrorMessage(connection.get()) + (" in: " + sql));
    return result;
}

} // namespace

Driver DemoWorkshop::SuiteDriver() {
    const char* driver = std::getenv("MMW_TEST_DRIVER");
    return driver && std::string(driver) == "postgresql" ? Driver::Postgres : Driver::Sqlite;
}

PostgresCluster& DemoWorkshop::TestServer() {
    static std::optional<PostgresCluster> server;
    if (!server) {
        std::string directory;
        if (const char* state = std::getenv("MMW_TEST_POSTGRES"); state && *state)
            std::ifstream(state) >> directory;
        if (!directory.empty()) {
            server.emplace(PostgresCluster::Adopt(directory));
            server->Detach(); // the fixture stops it
        } else {
            server.emplace(PostgresCluster::Options{});
        }
    }
    return *server;
}

DemoWorkshop::DemoWorkshop(Driver driver, const std::string& locale)
    : FDriver(driver), FDatabaseDir(FDir.file("kalvomer")), FAliasFile(FDir.file("aliases.ini")),
      FConfig("DBENGINE_CONFIG", FAliasFile) {
    if (driver == Driver::Sqlite) {
        db::DemoDatabase::Create(FDatabaseDir);
        db::DemoDatabase::WriteAliasFile(FAliasFile, FDatabaseDir);
        return;
    }
    static std::atomic<int> counter{0};
    FDatabaseName = "mmw_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    PostgresCluster& server = TestServer();
    server.Admin("CREATE DATABASE " + FDatabaseName +
                 (locale.empty() ? std::string()
                                 : " TEMPLATE template0 ENCODING 'UTF8' LOCALE '" + locale + "'"));
    FConninfo = server.Conninfo(FDatabaseName);
    db::DemoDatabase::CreateOnServer(FConninfo);
    db::DemoDatabase::WriteServerAliasFile(FAliasFile, FConninfo);
}

DemoWorkshop::~DemoWorkshop() {
    if (FDriver != Driver::Postgres)
        return;
    try {
        TestServer().Admin("DROP DATABASE IF EXISTS " + FDatabaseName + " WITH (FORCE)");
    } catch (const std::exception&) {
        // The server goes at the end of the suite, and the database with it.
    }
}

std::string DemoWorkshop::tablesFile() const {
    return db::DemoDatabase::TablesFile(FDatabaseDir);
}

void DemoWorkshop::exec(const std::string& utf8Sql) const {
    if (onServer()) {
        PgRun(FConninfo, utf8Sql);
        return;
    }
    auto database = OpenRaw(tablesFile());
    char* error = nullptr;
    if (sqlite3_exec(database.get(), utf8Sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + utf8Sql);
    }
}

QList<QStringList> DemoWorkshop::rows(const std::string& utf8Sql) const {
    QList<QStringList> result;
    if (onServer()) {
        const auto answer = PgRun(FConninfo, utf8Sql);
        for (int r = 0; r < PQntuples(answer.get()); ++r) {
            QStringList row;
            for (int c = 0; c < PQnfields(answer.get()); ++c)
                row.append(PQgetisnull(answer.get(), r, c)
                               ? QString()
                               : QString::fromUtf8(PQgetvalue(answer.get(), r, c),
                                                   PQgetlength(answer.get(), r, c)));
            result.append(row);
        }
        return result;
    }
    auto database = OpenRaw(tablesFile());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database.get(), utf8Sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(database.get())) + " in: " + utf8Sql);
    std::unique_ptr<sqlite3_stmt, Finalizer> statement(raw);
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
            if (sqlite3_column_type(statement.get(), c) == SQLITE_NULL) {
                row.append(QString());
                continue;
            }
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
            row.append(QString::fromUtf8(text, sqlite3_column_bytes(statement.get(), c)));
        }
        result.append(row);
    }
    if (rc != SQLITE_DONE)
        throw std::runtime_error(std::string(sqlite3_errmsg(database.get())) + " in: " + utf8Sql);
    return result;
}

QString DemoWorkshop::scalar(const std::string& utf8Sql) const {
    const QList<QStringList> result = rows(utf8Sql);
    return result.isEmpty() || result.front().isEmpty() ? QString() : result.front().front();
}

void DemoWorkshop::refuseInserts(const std::string& table, const std::string& message) const {
    if (onServer())
        exec("create function refuse_" + table + "() returns trigger language plpgsql as $$ " +
             "begin raise exception '" + message + "'; end $$; create trigger refuse before " +
             "insert on " + table + " for each row execute function refuse_" + table + "()");
    else
        exec("create trigger refuse before insert on " + table + " begin select raise(abort, '" +
             message + "'); end");
}

} // namespace testsupport
