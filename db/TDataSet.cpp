#include "db/TDataSet.h"

#include "db/EDatabaseError.h"
#include "db/TDatabase.h"
#include "db/TSession.h"
#include "platform/Win1250.h"

namespace db {

TDataSet::TDataSet(QObject* owner) : QObject(owner) {}

// Derived classes have gone by now; Close only touches what this class owns.
TDataSet::~TDataSet() {
    Close();
}

void TDataSet::CheckActive() const {
    if (!FActive)
        throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
    if (FActive)
        throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::setSessionName(const std::string& name) {
    CheckInactive();
    FSessionName = name;
}

void TDataSet::setDatabaseName(const std::string& name) {
    CheckInactive();
    FDatabaseName = name;
}

TDatabase& TDataSet::LookupDatabase() const {
    TSession* session = TSession::FindSession(FSessionName);
    if (!session)
        throw EDatabaseError("Unknown session: " + FSessionName);
    TDatabase* database = session->FindDatabase(FDatabaseName);
    if (!database)
        throw EDatabaseError("Unknown database: " + FDatabaseName);
    return *database;
}

void TDataSet::setActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

void TDataSet::Open() {
    if (FActive)
        return;
    TDatabase& database = LookupDatabase();
    database.Open();
    ResultSet data;
    try {
        data = OpenCursor(database.getConnection());
    } catch (...) {
        database.ReleaseIfIdle();
        throw;
    }
    if (FDeclaredFields) {
        // OpenCursor selected exactly the declared fields, in order.
        for (std::size_t k = 0; k < FFields.size(); ++k)
            FFields[k]->Bind(k);
    } else {
        FFields.clear();
        for (std::size_t k = 0; k < data.columns.size(); ++k) {
            FFields.push_back(std::make_unique<TField>(this, data.columns[k], ftUnknown, 0));
            FFields.back()->Bind(k);
        }
    }
    FData = std::move(data);
    FActive = true;
    FDatabase = &database;
    database.AttachDataSet(this);
    First();
}

void TDataSet::Close() {
    if (!FActive)
        return;
    FActive = false;
    FData = {};
    FRecNo = 0;
    FEof = true;
    if (!FDeclaredFields)
        FFields.clear();
    TDatabase* database = FDatabase;
    FDatabase = nullptr;
    database->DetachDataSet(this);
}

int TDataSet::getRecordCount() const {
    CheckActive();
    return static_cast<int>(FData.rows.size());
}

bool TDataSet::getEof() const {
    CheckActive();
    return FEof;
}

void TDataSet::First() {
    CheckActive();
    FRecNo = 0;
    FEof = FData.rows.empty();
}

void TDataSet::Next() {
    CheckActive();
    if (FRecNo + 1 < FData.rows.size())
        ++FRecNo;
    else
        FEof = true; // stays on the last record
}

TField* TDataSet::FindField(const std::string& fieldName) const {
    for (const auto& field : FFields)
        if (platform::AnsiSameText(field->getFieldName(), fieldName))
            return field.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const std::string& fieldName) const {
    if (TField* field = FindField(fieldName))
        return field;
    throw EDatabaseError("Field '" + fieldName + "' not found");
}

Value TDataSet::CurrentValue(std::size_t column) const {
    CheckActive();
    if (FData.rows.empty())
        return Value();
    return FData.rows[FRecNo].at(column);
}

void TDataSet::DeclareField(std::string fieldName, TFieldType dataType, int size) {
    CheckInactive();
    if (FindField(fieldName))
        throw EDatabaseError("Duplicate field name '" + fieldName + "'");
    FFields.push_back(std::make_unique<TField>(this, std::move(fieldName), dataType, size));
    FDeclaredFields = true;
}

} // namespace db
