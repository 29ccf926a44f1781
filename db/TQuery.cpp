#include "db/TQuery.h"

#include "db/EDatabaseError.h"
#include "db/TDatabase.h"

namespace db {

TQuery::TQuery(QObject* owner) : TDataSet(owner) {}

TQuery::~TQuery() {
    Close();
}

void TQuery::setSQL(const std::string& sql) {
    Close();
    FSQL = sql;
}

void TQuery::CheckStatement() const {
    if (FSQL.find_first_not_of(" \t\r\n") == std::string::npos)
        throw EDatabaseError("No SQL statement available");
}

ResultSet TQuery::OpenCursor(Connection& connection) {
    CheckStatement();
    return connection.Select(FSQL, {});
}

int TQuery::ExecSQL() {
    CheckStatement();
    TDatabase& database = LookupDatabase();
    database.Open();
    int changed = 0;
    try {
        changed = database.getConnection().Execute(FSQL, {});
    } catch (...) {
        database.ReleaseIfIdle();
        throw;
    }
    database.ReleaseIfIdle();
    return changed;
}

} // namespace db
