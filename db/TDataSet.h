#pragma once
// What tables and queries share: finding their database by name within their
// session, opening (which activates the session and connects the database),
// closing, the current record and the fields that read it. An open data set
// holds its rows in memory, positioned on the first.

#include "db/Connection.h"
#include "db/TField.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace db {

class TDatabase;

class TDataSet : public QObject {
    Q_OBJECT
public:
    explicit TDataSet(QObject* owner = nullptr);
    ~TDataSet() override;

    // Empty means the default session. Neither name can change while open.
    const std::string& getSessionName() const { return FSessionName; }
    void setSessionName(const std::string& name);
    const std::string& getDatabaseName() const { return FDatabaseName; }
    void setDatabaseName(const std::string& name);

    bool getActive() const { return FActive; }
    void setActive(bool active);
    // Nothing happens when already open. A failed open leaves the data set
    // closed.
    void Open();
    void Close();

    // EDatabaseError "Cannot perform this operation on a closed dataset"
    // when not open.
    int getRecordCount() const;
    bool getEof() const;
    void First();
    void Next();

    int getFieldCount() const { return static_cast<int>(FFields.size()); }
    TField* Fields(int index) const { return FFields.at(static_cast<std::size_t>(index)).get(); }
    // By name, without regard to case: nullptr when there is no such field.
    TField* FindField(const std::string& fieldName) const;
    // The same, failing with EDatabaseError "Field 'X' not found".
    TField* FieldByName(const std::string& fieldName) const;

    // The database this data set is open on; nullptr while closed.
    TDatabase* getDatabase() const { return FDatabase; }

    // The value of a column at the current record (null when there is
    // none); what TField reads.
    Value CurrentValue(std::size_t column) const;

protected:
    // Runs the data set's select over the connection. The result's columns
    // are the fields' columns: for declared fields, exactly those in order.
    virtual ResultSet OpenCursor(Connection& connection) = 0;

    void CheckActive() const;
    void CheckInactive() const;
    // The database named by DatabaseName within the session named by
    // SessionName; EDatabaseError when there is none.
    TDatabase& LookupDatabase() const;

    bool hasDeclaredFields() const { return FDeclaredFields; }
    void DeclareField(std::string fieldName, TFieldType dataType, int size);

    // The rows while open, and the index of the current one.
    ResultSet FData;
    std::size_t FRecNo = 0;

private:
    std::string FSessionName;
    std::string FDatabaseName;
    bool FActive = false;
    bool FEof = true;
    bool FDeclaredFields = false;
    TDatabase* FDatabase = nullptr; // attached while open; not owned
    std::vector<std::unique_ptr<TField>> FFields;
};

} // namespace db
