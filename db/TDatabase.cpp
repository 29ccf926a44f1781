#include "db/TDatabase.h"

#include "db/EDatabaseError.h"
#include "db/TDataSet.h"
#include "db/TSession.h"
#include "platform/Win1250.h"

#include <algorithm>

namespace db {
namespace {

std::vector<TDatabase*>& Registry() {
    static std::vector<TDatabase*> databases;
    return databases;
}

} // namespace

const std::vector<TDatabase*>& TDatabase::Databases() {
    return Registry();
}

TDatabase::TDatabase(QObject* owner) : QObject(owner) {
    Registry().push_back(this);
}

TDatabase::~TDatabase() {
    Close();
    std::erase(Registry(), this);
}

void TDatabase::CheckDisconnected() const {
    if (FConnection)
        throw EDatabaseError("Cannot perform this operation on an open database");
}

void TDatabase::setAliasName(const std::string& alias) {
    CheckDisconnected();
    FAliasName = alias;
}

void TDatabase::setDatabaseName(const std::string& name) {
    CheckDisconnected();
    FDatabaseName = name;
}

void TDatabase::setSessionName(const std::string& name) {
    CheckDisconnected();
    FSessionName = name;
}

void TDatabase::setKeepConnection(bool keep) {
    FKeepConnection = keep;
    if (!keep)
        ReleaseIfIdle();
}

void TDatabase::setConnected(bool connected) {
    if (connected)
        Open();
    else
        Close();
}

void TDatabase::Open() {
    if (FConnection)
        return;
    TSession* session = TSession::FindSession(FSessionName);
    if (!session)
        throw EDatabaseError("Unknown session: " + FSessionName);
    // Two databases of one name in one session would leave it to chance
    // which one a data set gets.
    for (const TDatabase* other : Registry())
        if (other != this && platform::AnsiSameText(other->FDatabaseName, FDatabaseName) &&
            TSession::FindSession(other->FSessionName) == session)
            throw EDatabaseError("Duplicate database name '" + FDatabaseName + "'");
    session->Open();
    std::vector<std::string> params;
    session->GetAliasParams(FAliasName, params);
    FConnection = OpenConnection(FAliasName, params);
}

void TDatabase::Close() {
    while (!FDataSets.empty()) {
        TDataSet* dataSet = FDataSets.back();
        dataSet->Close(); // detaches itself
        std::erase(FDataSets, dataSet);
    }
    FConnection.reset();
}

bool TDatabase::TryLockRun() {
    if (!FConnection)
        Open();
    return getConnection().TryLockRun();
}

void TDatabase::ReleaseRunLock() {
    if (FConnection)
        FConnection->ReleaseRunLock();
}

void TDatabase::SetDurableCommits(bool durable) {
    getConnection().SetDurableCommits(durable);
}

Connection& TDatabase::getConnection() const {
    if (!FConnection)
        throw EDatabaseError("Database " + FDatabaseName + " is not connected");
    return *FConnection;
}

void TDatabase::AttachDataSet(TDataSet* dataSet) {
    if (std::find(FDataSets.begin(), FDataSets.end(), dataSet) == FDataSets.end())
        FDataSets.push_back(dataSet);
}

void TDatabase::DetachDataSet(TDataSet* dataSet) {
    std::erase(FDataSets, dataSet);
    ReleaseIfIdle();
}

void TDatabase::ReleaseIfIdle() {
    if (!FKeepConnection && FDataSets.empty())
        FConnection.reset();
}

} // namespace db
