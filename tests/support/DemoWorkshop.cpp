#include "tests/support/DemoWorkshop.h"

#include "platform/FileServices.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

struct Closer {
    void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
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

} // namespace

DemoWorkshop::DemoWorkshop()
    : FDatabaseDir(FDir.file("kalvomer")), FAliasFile(FDir.file("aliases.ini")),
      FConfig("DBENGINE_CONFIG", FAliasFile) {
    db::DemoDatabase::Create(FDatabaseDir);
    db::DemoDatabase::WriteAliasFile(FAliasFile, FDatabaseDir);
}

std::string DemoWorkshop::tablesFile() const {
    return db::DemoDatabase::TablesFile(FDatabaseDir);
}

void DemoWorkshop::exec(const std::string& utf8Sql) const {
    auto database = OpenRaw(tablesFile());
    char* error = nullptr;
    if (sqlite3_exec(database.get(), utf8Sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + utf8Sql);
    }
}

QList<QStringList> DemoWorkshop::rows(const std::string& utf8Sql) const {
    auto database = OpenRaw(tablesFile());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database.get(), utf8Sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(database.get())) + " in: " + utf8Sql);
    std::unique_ptr<sqlite3_stmt, Finalizer> statement(raw);
    QList<QStringList> result;
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

} // namespace testsupport
