#pragma once
// The parts of an insert that the dialect points look into:
//   insert [or <conflict>] into [schema.]table [as alias] [(columns)]
//     values (...)[, (...)]
// (or SQLite's "replace into"). The date literal and the text widths both
// need to know which column each value of the VALUES lists writes.

#include "db/Connection.h"
#include "db/SqlTokenizer.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace db {

struct InsertStatement {
    // The columns of a table, in table order; nullopt when there is no such
    // table.
    using ColumnLookup = std::function<std::optional<std::vector<ColumnInfo>>(const std::string&)>;

    // One value of a VALUES list: its tokens [first, last) among the
    // statement's significant tokens, and the position of the column it
    // writes.
    struct Item {
        std::size_t column;
        std::size_t first;
        std::size_t last;
        std::size_t size() const { return last - first; }
    };

    std::string table;
    std::vector<std::string> named; // the column list, upper-cased; empty when there is none
    std::vector<Item> values;       // every list's, in order

    // nullopt when the significant tokens of a statement are not such an
    // insert, or it breaks off.
    static std::optional<InsertStatement> Parse(const std::vector<SqlToken>& tokens);

    // The declared type of the column at each position: of the named
    // columns (nullopt for a name the table lacks), else of the table's own
    // columns in order.
    std::vector<std::optional<std::string>>
    DeclaredTypes(const std::vector<ColumnInfo>& tableColumns) const;
};

} // namespace db
