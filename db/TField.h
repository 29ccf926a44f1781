#pragma once
// One column of a data set, read at the data set's current record. A field
// belongs to its data set: a declared (persistent) field lives as long as the
// data set, a field made from a result's columns lives while the data set is
// open.

#include "db/Value.h"

#include <cstdint>
#include <string>

namespace db {

class TDataSet;

enum TFieldType { ftUnknown, ftString, ftSmallint, ftInteger };

class TField {
public:
    TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    const std::string& getFieldName() const { return FFieldName; }
    // ftUnknown for a field made from a result column: it reads whatever the
    // value is.
    TFieldType getDataType() const { return FDataType; }
    int getSize() const { return FSize; }
    TDataSet* getDataSet() const { return FDataSet; }

    // The value at the current record; null when the data set has no
    // record. Reading a field of a closed data set raises EDatabaseError.
    Value getValue() const;
    bool getIsNull() const { return getValue().isNull(); }
    // Windows-1250 text; a null reads "".
    std::string getAsString() const;
    // A null reads 0; a text that is no whole number, or a number outside
    // the 32-bit range, raises EDatabaseError.
    std::int32_t getAsInteger() const;

    // The column of the data set's rows this field reads; set by the data
    // set when it opens.
    void Bind(std::size_t column) { FColumn = column; }

private:
    TDataSet* FDataSet;
    std::string FFieldName;
    TFieldType FDataType;
    int FSize;
    std::size_t FColumn = 0;
};

} // namespace db
