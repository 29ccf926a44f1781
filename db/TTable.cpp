#include "db/TTable.h"

#include "db/EDatabaseError.h"
#include "db/TDatabase.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

namespace db {
namespace {

std::string QuoteName(const std::string& name) {
    std::string quoted = "\"";
    for (char ch : name) {
        quoted += ch;
        if (ch == '"')
            quoted += '"';
    }
    return quoted + '"';
}

} // namespace

TTable::TTable(QObject* owner) : TDataSet(owner) {}

TTable::~TTable() {
    Close();
}

void TTable::setTableName(const std::string& name) {
    CheckInactive();
    FTableName = name;
}

std::string TTable::PhysicalName() const {
    std::string name = platform::ExtractFileName(FTableName);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return platform::AnsiUpperCase(name);
}

TField* TTable::AddField(const std::string& fieldName, TFieldType dataType, int size) {
    DeclareField(fieldName, dataType, size);
    return Fields(getFieldCount() - 1);
}

std::string TTable::SelectList() const {
    if (!hasDeclaredFields())
        return "*";
    std::string list;
    for (int k = 0; k < getFieldCount(); ++k) {
        if (k > 0)
            list += ", ";
        list += QuoteName(Fields(k)->getFieldName());
    }
    return list;
}

ResultSet TTable::OpenCursor(Connection& connection) {
    const std::string table = PhysicalName();
    const TableInfo info = connection.DescribeTable(table);
    if (hasDeclaredFields()) {
        for (int k = 0; k < getFieldCount(); ++k) {
            const std::string& wanted = Fields(k)->getFieldName();
            bool present = false;
            for (const ColumnInfo& column : info.columns)
                present = present || platform::AnsiSameText(column.name, wanted);
            if (!present)
                throw EDatabaseError("Field '" + Fields(k)->getFieldName() +
                                     "' not found in table " + table);
        }
    }
    FKeyField = info.primaryKey.empty() ? std::string() : info.primaryKey.front();
    std::string sql = "select " + SelectList() + " from " + QuoteName(table);
    if (!info.primaryKey.empty()) {
        sql += " order by ";
        for (std::size_t k = 0; k < info.primaryKey.size(); ++k)
            sql += (k ? ", " : "") + QuoteName(info.primaryKey[k]);
    }
    return connection.Select(sql, {});
}

bool TTable::FindKey(const Value& key) {
    CheckActive();
    if (FKeyField.empty())
        throw EDatabaseError("Table " + PhysicalName() + " has no primary key to search by");
    ResultSet found = getDatabase()->getConnection().Select(
        "select " + SelectList() + " from " + QuoteName(PhysicalName()) + " where " +
            QuoteName(FKeyField) + " = ?1",
        {key});
    if (found.rows.empty())
        return false;

    // Bring the held rows up to date with the record the database has now:
    // the same key replaces the held row, a record added since the open
    // joins the rows.
    std::vector<Value>& fresh = found.rows.front();
    std::size_t keyColumn = FData.columns.size();
    for (std::size_t c = 0; c < FData.columns.size(); ++c)
        if (platform::AnsiSameText(FData.columns[c], FKeyField))
            keyColumn = c;
    std::size_t position = FData.rows.size();
    if (keyColumn < FData.columns.size())
        for (std::size_t r = 0; r < FData.rows.size(); ++r)
            if (FData.rows[r][keyColumn] == fresh[keyColumn])
                position = r;
    if (position == FData.rows.size())
        FData.rows.push_back(std::move(fresh));
    else
        FData.rows[position] = std::move(fresh);
    First();
    FRecNo = position;
    return true;
}

} // namespace db
