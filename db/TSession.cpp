#include "db/TSession.h"

#include "db/EDatabaseError.h"
#include "db/EngineConfig.h"
#include "db/TDatabase.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <sqlite3.h>

#include <algorithm>

namespace db {
namespace {

// Every live session; a session is findable once it has a name.
std::vector<TSession*>& Sessions() {
    static std::vector<TSession*> sessions;
    return sessions;
}

// SQLite keeps one scratch directory for the whole process. The text we
// handed it is ours to free when we replace it.
char* gTempDirectory = nullptr;

void SetSqliteTempDirectory(const std::string& dir) {
    char* copy = sqlite3_mprintf("%s", platform::SystemPath(dir).c_str());
    if (!copy)
        return;
    if (sqlite3_temp_directory == gTempDirectory) {
        sqlite3_temp_directory = copy;
        sqlite3_free(gTempDirectory);
    } else {
        sqlite3_temp_directory = copy;
    }
    gTempDirectory = copy;
}

} // namespace

TSession::TSession(QObject* owner) : QObject(owner) {
    Sessions().push_back(this);
}

TSession::~TSession() {
    Close();
    std::erase(Sessions(), this);
}

TSession* TSession::FindSession(const std::string& name) {
    const std::string& wanted = name.empty() ? std::string(kDefaultName) : name;
    if (platform::AnsiSameText(wanted, kDefaultName))
        DefaultSession();
    for (TSession* session : Sessions())
        if (!session->FSessionName.empty() && platform::AnsiSameText(session->FSessionName, wanted))
            return session;
    return nullptr;
}

TSession& DefaultSession() {
    static TSession& session = []() -> TSession& {
        // The database registry must outlive the default session, whose
        // destructor closes its databases: touching it first constructs it
        // first, so it is destroyed after.
        TDatabase::Databases();
        static TSession instance;
        // Set directly: setSessionName would look the name up, and so
        // come back here.
        instance.FSessionName = TSession::kDefaultName;
        return instance;
    }();
    return session;
}

void TSession::CheckInactive() const {
    if (FActive)
        throw EDatabaseError("Cannot perform this operation on an active session");
}

void TSession::setSessionName(const std::string& name) {
    if (name == FSessionName)
        return;
    CheckInactive();
    if (!name.empty()) {
        const TSession* other = FindSession(name);
        if (other && other != this)
            throw EDatabaseError("Duplicate session name '" + name + "'");
    }
    FSessionName = name;
}

void TSession::setNetFileDir(const std::string& dir) {
    CheckInactive();
    FNetFileDir = dir;
}

void TSession::setPrivateDir(const std::string& dir) {
    CheckInactive();
    FPrivateDir = dir;
}

void TSession::setActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

void TSession::Open() {
    if (FActive)
        return;
    if (!FPrivateDir.empty() && platform::DirectoryExists(FPrivateDir))
        SetSqliteTempDirectory(FPrivateDir);
    FActive = true;
}

void TSession::Close() {
    for (TDatabase* database : TDatabase::Databases())
        if (FindSession(database->getSessionName()) == this)
            database->Close();
    FActive = false;
}

void TSession::GetAliasParams(const std::string& alias, std::vector<std::string>& list) const {
    list = EngineConfig::AliasParams(alias);
}

TDatabase* TSession::FindDatabase(const std::string& databaseName) const {
    for (TDatabase* database : TDatabase::Databases())
        if (platform::AnsiSameText(database->getDatabaseName(), databaseName) &&
            FindSession(database->getSessionName()) == this)
            return database;
    return nullptr;
}

} // namespace db
