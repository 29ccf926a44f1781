#pragma once
// The declared widths of text columns, held on the values an insert writes.
// A PostgreSQL server refuses a text longer than its VARCHAR(n) or CHAR(n)
// column; SQLite would store it whole. The embedded driver refuses it too,
// with the server's words, so that both drivers keep the same rows: a name
// cut to its column's width would no longer be found by the lookup that
// compares the whole name, and every run would insert it again.
//
// Only the literals an insert's VALUES lists write straight into a column
// are held to it: the values of the statement's shape, each a parameter of
// its own in a column position.

#include "db/Connection.h"
#include "db/InsertStatement.h"
#include "db/StatementShape.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace db {

class TextWidths {
public:
    using ColumnLookup = InsertStatement::ColumnLookup;

    // Raises EDBEngineError "value too long for type character varying(n)"
    // (or "character(n)") when a text value of the shape (UTF-8) has more
    // characters than its column allows. The widths of each shape are
    // worked out once.
    void Check(const StatementShape& shape, const ColumnLookup& columns);

    // The width a declared type allows, and whether it pads (CHAR);
    // nullopt for a type without a width.
    struct Width {
        std::size_t characters;
        bool padded;
    };
    static std::optional<Width> DeclaredWidth(const std::string& declaredType);

private:
    std::vector<std::optional<Width>> Limits(const StatementShape& shape,
                                             const ColumnLookup& columns) const;

    // Per shape text: the width each parameter is held to.
    std::unordered_map<std::string, std::vector<std::optional<Width>>> FLimits;
};

} // namespace db
