#pragma once
// The statements that create the workshop database's tables (db/schema.sql,
// built into the library).

namespace db {

const char* SchemaSql();

} // namespace db
