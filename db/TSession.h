#pragma once
// An engine session: the named scope in which databases are found by name,
// with the engine's working directories. Every session registers itself by
// name in the process; names compare without regard to case.

#include <QObject>

#include <string>
#include <vector>

namespace db {

class TDatabase;

class TSession : public QObject {
    Q_OBJECT
public:
    // The name data sets and databases use when they name no session.
    static constexpr const char* kDefaultName = "Default";

    explicit TSession(QObject* owner = nullptr);
    ~TSession() override;

    // Unique among the sessions of the process; cannot change while active.
    const std::string& getSessionName() const { return FSessionName; }
    void setSessionName(const std::string& name);

    // Stored only: every connection is closed as soon as nothing uses it,
    // as each database's own KeepConnection says.
    bool getKeepConnections() const { return FKeepConnections; }
    void setKeepConnections(bool keep) { FKeepConnections = keep; }

    // The directory shared workstations would coordinate in; stored only.
    // Both directories can change only while the session is inactive.
    const std::string& getNetFileDir() const { return FNetFileDir; }
    void setNetFileDir(const std::string& dir);

    // Where the engine keeps its scratch files; applied on activation when
    // the directory exists.
    const std::string& getPrivateDir() const { return FPrivateDir; }
    void setPrivateDir(const std::string& dir);

    bool getActive() const { return FActive; }
    void setActive(bool active);
    void Open();
    // Closes every database of the session (and so their data sets).
    void Close();

    // The parameter lines of an alias, read afresh from the engine's
    // configuration; EDBEngineError when the alias is not there.
    void GetAliasParams(const std::string& alias, std::vector<std::string>& list) const;

    // The database of this session with that name (case-insensitive), or nullptr.
    TDatabase* FindDatabase(const std::string& databaseName) const;

    // The session with that name (case-insensitive); an empty name is the
    // default session. nullptr when there is none.
    static TSession* FindSession(const std::string& name);

private:
    friend TSession& DefaultSession();
    void CheckInactive() const;

    std::string FSessionName;
    bool FKeepConnections = true;
    std::string FNetFileDir;
    std::string FPrivateDir = "./";
    bool FActive = false;
};

// The engine's default session, named "Default"; it lives as long as the process.
TSession& DefaultSession();

} // namespace db
