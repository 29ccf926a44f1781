#pragma once
// A statement run on the database: Open runs a select and holds its rows,
// ExecSQL runs any other statement. The text is replaced whole; replacing it
// closes the query.

#include "db/TDataSet.h"

namespace db {

class TQuery : public TDataSet {
    Q_OBJECT
public:
    explicit TQuery(QObject* owner = nullptr);
    ~TQuery() override;

    // Windows-1250, as every statement of the program.
    const std::string& getSQL() const { return FSQL; }
    void setSQL(const std::string& sql);

    // Runs the statement as one that returns no rows. With KeepConnection
    // false and no data set open, the database disconnects afterwards.
    // Returns the number of rows changed.
    int ExecSQL();

protected:
    ResultSet OpenCursor(Connection& connection) override;

private:
    void CheckStatement() const;

    std::string FSQL;
};

} // namespace db
