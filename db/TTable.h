#pragma once
// A table of the database, named as the workshop application names its
// files: "Personel.DB" is the table PERSONEL. Fields may be declared before
// the table opens; the table then has exactly those fields, and opening fails
// when the table lacks one of them. Rows come in primary-key order.

#include "db/TDataSet.h"

namespace db {

class TTable : public TDataSet {
    Q_OBJECT
public:
    explicit TTable(QObject* owner = nullptr);
    ~TTable() override;

    const std::string& getTableName() const { return FTableName; }
    void setTableName(const std::string& name);
    // The name of the table in the database: the file name without its
    // extension, upper-cased.
    std::string PhysicalName() const;

    // Declares a persistent field; only while closed.
    TField* AddField(const std::string& fieldName, TFieldType dataType, int size = 0);

    // Searches by the first key field, asking the database afresh. Found:
    // true, positioned on that record. Not found: false, position kept.
    bool FindKey(const Value& key);

protected:
    ResultSet OpenCursor(Connection& connection) override;

private:
    std::string SelectList() const;

    std::string FTableName;
    std::string FKeyField; // the first primary key column while open
};

} // namespace db
