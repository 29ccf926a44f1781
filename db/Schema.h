#pragma once
// The statements that create the workshop database's tables (db/schema.sql,
// built into the library).

namespace db {

const char* SchemaSql();
// The same tables for a PostgreSQL server (db/schema-postgresql.sql).
const char* PostgresSchemaSql();

} // namespace db
