#pragma once
// Descriptions of the workshop tables as the program's data sets declare
// them.

namespace db {

class TTable;

// The engine alias under which the workshop database is installed.
inline constexpr const char* kWorkshopAlias = "ZIRKONAL_KALVOMER_3";

// The persistent fields of the staff table object, in their order: the table
// must have all of them, and the data set shows exactly these.
void DeclarePersonelFields(TTable& table);

} // namespace db
