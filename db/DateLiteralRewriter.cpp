#include "db/DateLiteralRewriter.h"

#include "db/InsertStatement.h"
#include "db/SqlTokenizer.h"

#include <cstdio>

namespace db {
namespace {

using Kind = SqlToken::Kind;

bool IsDateType(const std::string& declared) {
    const auto first = declared.find_first_not_of(" \t");
    const auto last = declared.find_last_not_of(" \t");
    return first != std::string::npos &&
           UpperAscii(declared.substr(first, last - first + 1)) == "DATE";
}

// A date literal of a VALUES list, at a column position.
struct Candidate {
    std::size_t column;
    const SqlToken* token;
    std::string iso;
};

} // namespace

std::optional<std::string> DateLiteralRewriter::IsoDate(std::string_view text) {
    int part[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int n = 0;
    for (char ch : text) {
        if (ch == '/') {
            if (++n > 2)
                return std::nullopt;
        } else if (ch >= '0' && ch <= '9') {
            part[n] = part[n] * 10 + (ch - '0');
            if (++digits[n] > 4)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (n != 2 || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2 ||
        digits[2] != 4)
        return std::nullopt;
    const int month = part[0], day = part[1], year = part[2];
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > monthDays)
        return std::nullopt;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return std::string(buffer);
}

std::string DateLiteralRewriter::Rewrite(const std::string& sql, const ColumnLookup& columns) {
    // Cheap test first: every statement of an import passes through here.
    if (sql.find('/') == std::string::npos)
        return sql;
    const std::vector<SqlToken> t = SqlTokenizer::Significant(sql);
    const auto insert = InsertStatement::Parse(t);
    if (!insert)
        return sql;

    // One string literal standing alone as a value, shaped like a date.
    std::vector<Candidate> candidates;
    for (const InsertStatement::Item& value : insert->values)
        if (value.size() == 1 && t[value.first].kind == Kind::String)
            if (auto iso = IsoDate(t[value.first].stringValue()))
                candidates.push_back({value.column, &t[value.first], *iso});
    if (candidates.empty())
        return sql;

    const auto tableColumns = columns(insert->table);
    if (!tableColumns)
        return sql;
    const std::vector<std::optional<std::string>> types = insert->DeclaredTypes(*tableColumns);

    std::string out;
    std::size_t copied = 0;
    for (const Candidate& c : candidates) {
        if (c.column >= types.size() || !types[c.column] || !IsDateType(*types[c.column]))
            continue;
        out.append(sql, copied, c.token->offset - copied);
        out += '\'' + c.iso + '\'';
        copied = c.token->offset + c.token->text.size();
    }
    if (copied == 0)
        return sql;
    out.append(sql, copied, std::string::npos);
    return out;
}

} // namespace db
