#pragma once
// The workshop's SQL dialect on a PostgreSQL server. Statements arrive as the
// program writes them (UTF-8 here, after the driver's border); three points
// of the dialect mean something else to the server and are rewritten before
// it sees them:
//   - upper(x) upper-cases by the Windows-1250 table, whatever the server's
//     locale: it becomes translate(x, <lower>, <upper>) over the code page's
//     letters, which no locale changes;
//   - names compare without regard to letter case: a quoted name ("MARKI")
//     is folded to lower case, as the server folds an unquoted one;
//   - parameters are numbered ?1, ?2, ...: they become $1, $2, ...
// The month/day/year date literal needs no rewriting: the driver's session
// reads dates as MDY.

#include <string>
#include <string_view>

namespace db {

class PostgresDialect {
public:
    // The statement as the server is to read it.
    static std::string Translate(std::string_view utf8Sql);

    // False when a second statement follows the first (blanks, comments and
    // semicolons after it are no statement).
    static bool SingleStatement(std::string_view utf8Sql);

    // The two strings of translate() standing for upper(), in UTF-8: every
    // letter of Windows-1250 with a capital, and that capital.
    static const std::string& LowerLetters();
    static const std::string& UpperLetters();
};

} // namespace db
