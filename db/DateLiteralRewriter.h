#pragma once
// The month/day/year date literal of the workshop's SQL dialect. An insert
// that writes '06/12/2013' into a DATE column means 12 June 2013; SQLite
// would keep the text as it is, so the literal is turned into the ISO form
// '2013-06-12' before the statement reaches SQLite. Only an insert's
// VALUES lists are touched, only a value that is one string literal, and
// only when the column is declared DATE and the text is a valid date.

#include "db/Connection.h"
#include "db/InsertStatement.h"

#include <functional>
#include <optional>
#include <string>

namespace db {

class DateLiteralRewriter {
public:
    // Asked only when an insert carries a literal shaped like a date.
    using ColumnLookup = InsertStatement::ColumnLookup;

    // The statement with its date literals rewritten; unchanged when there
    // is nothing to rewrite or the text is not an insert it understands.
    static std::string Rewrite(const std::string& sql, const ColumnLookup& columns);

    // "M/D/YYYY" or "MM/DD/YYYY" with a valid date to "YYYY-MM-DD".
    static std::optional<std::string> IsoDate(std::string_view monthDayYear);
};

} // namespace db
