#pragma once
// A connection to the database an alias names, known to the data sets of its
// session by its DatabaseName (case-insensitive). It connects with the first
// data set that needs it; with KeepConnection false it lets the connection go
// again as soon as none of its data sets is open.

#include "db/Connection.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace db {

class TDataSet;

enum TTransIsolation { tiDirtyRead, tiReadCommitted, tiRepeatableRead };

class TDatabase : public QObject {
    Q_OBJECT
public:
    explicit TDatabase(QObject* owner = nullptr);
    ~TDatabase() override;

    // Names cannot change while connected.
    const std::string& getAliasName() const { return FAliasName; }
    void setAliasName(const std::string& alias);
    const std::string& getDatabaseName() const { return FDatabaseName; }
    void setDatabaseName(const std::string& name);
    // Empty means the default session.
    const std::string& getSessionName() const { return FSessionName; }
    void setSessionName(const std::string& name);

    bool getKeepConnection() const { return FKeepConnection; }
    void setKeepConnection(bool keep);

    // The engine never asks for a user name or password; stored only.
    bool getLoginPrompt() const { return FLoginPrompt; }
    void setLoginPrompt(bool prompt) { FLoginPrompt = prompt; }

    // Stored only: no transaction is ever started, every statement takes
    // effect when it runs.
    TTransIsolation getTransIsolation() const { return FTransIsolation; }
    void setTransIsolation(TTransIsolation isolation) { FTransIsolation = isolation; }

    bool getConnected() const { return FConnection != nullptr; }
    void setConnected(bool connected);
    // Activates the session and connects through the alias's driver.
    void Open();
    // Closes every open data set of this database, then the connection.
    void Close();

    // The database's run lock (see Connection::TryLockRun); connects first
    // when needed. ReleaseRunLock does nothing when not connected.
    bool TryLockRun();
    void ReleaseRunLock();
    // Whether each following statement is on disk when it returns
    // (Connection::SetDurableCommits); EDatabaseError when not connected.
    void SetDurableCommits(bool durable);

    // The live connection; EDatabaseError when not connected.
    Connection& getConnection() const;

    // Bookkeeping of the data sets: an open data set is attached, so that
    // closing the database closes it and the connection is kept while it is
    // open. Called by TDataSet.
    void AttachDataSet(TDataSet* dataSet);
    void DetachDataSet(TDataSet* dataSet);
    // Lets the connection go when KeepConnection is false and no data set
    // is open.
    void ReleaseIfIdle();

    // Every live database of the process, in creation order.
    static const std::vector<TDatabase*>& Databases();

private:
    void CheckDisconnected() const;

    std::string FAliasName;
    std::string FDatabaseName;
    std::string FSessionName;
    bool FKeepConnection = true;
    bool FLoginPrompt = true;
    TTransIsolation FTransIsolation = tiReadCommitted;
    std::unique_ptr<Connection> FConnection;
    std::vector<TDataSet*> FDataSets; // open data sets; not owned
};

} // namespace db
