#pragma once
// The shape of a statement: its text with the literal values turned into
// numbered parameters, and those values. Statements that differ only in their
// values (an import's lookups and inserts, one per catalogue line) share one
// shape, so SQLite prepares each shape once and the statement cache serves
// every further run.
//
// Only literals whose place makes the parameter mean exactly what the literal
// meant are taken:
//   - insert ... values (...): the values of the VALUES lists;
//   - select, delete: what follows the statement's own WHERE;
//   - update: what follows its SET (not an update ... from).
// A select's result columns, which name the columns after their text, are
// never touched. Statements are left as they are when they already carry
// parameters, are anything else (DDL, PRAGMA, WITH, EXPLAIN, ...), hold
// ORDER BY or GROUP BY (whose numbers are column positions), a compound
// select, a window or RETURNING clause, or a second statement. Only whole
// decimal integers within 64 bits and plain string literals become
// parameters; other numbers and blob literals stay in the text.

#include "db/Value.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

struct StatementShape {
    std::string text;          // UTF-8, with ?1, ?2, ... in place of the literals
    std::vector<Value> values; // value k binds ?k+1; texts are UTF-8
};

class LiteralParameters {
public:
    // The shape of a UTF-8 statement; nullopt when the statement is to run
    // as written (nothing to take, or a statement of a kind left alone).
    static std::optional<StatementShape> Shape(std::string_view utf8Sql);
};

} // namespace db
