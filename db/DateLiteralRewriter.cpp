#include "db/DateLiteralRewriter.h"

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

bool IsName(const SqlToken& t) {
    return t.kind == Kind::Word || t.kind == Kind::QuotedName;
}

// One string literal standing alone as a value, at a column position.
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
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> const SqlToken* { return k < t.size() ? &t[k] : nullptr; };

    // insert [or <conflict>] into [schema.]table [as alias] [(columns)] values (...)[, (...)]
    if (!at(i) || !(at(i)->isWord("insert") || at(i)->isWord("replace")))
        return sql;
    ++i;
    if (at(i) && at(i)->isWord("or"))
        i += 2;
    if (!at(i) || !at(i)->isWord("into"))
        return sql;
    ++i;
    if (!at(i) || !IsName(*at(i)))
        return sql;
    std::string table = at(i)->name();
    ++i;
    if (at(i) && at(i)->isPunctuation('.') && at(i + 1) && IsName(*at(i + 1))) {
        table = at(i + 1)->name();
        i += 2;
    }
    if (at(i) && at(i)->isWord("as"))
        i += 2;

    std::vector<std::string> named;
    if (at(i) && at(i)->isPunctuation('(')) {
        ++i;
        while (at(i) && IsName(*at(i))) {
            named.push_back(UpperAscii(at(i)->name()));
            ++i;
            if (at(i) && at(i)->isPunctuation(','))
                ++i;
            else
                break;
        }
        if (!at(i) || !at(i)->isPunctuation(')'))
            return sql;
        ++i;
    }
    if (!at(i) || !at(i)->isWord("values"))
        return sql;
    ++i;

    std::vector<Candidate> candidates;
    while (at(i) && at(i)->isPunctuation('(')) {
        ++i;
        std::size_t column = 0;
        std::size_t valueStart = i;
        int depth = 0;
        for (; at(i); ++i) {
            const SqlToken& tok = *at(i);
            if (tok.kind == Kind::Unterminated)
                return sql;
            if (tok.isPunctuation('('))
                ++depth;
            else if (depth > 0 && tok.isPunctuation(')'))
                --depth;
            else if (depth == 0 && (tok.isPunctuation(',') || tok.isPunctuation(')'))) {
                if (i == valueStart + 1 && t[valueStart].kind == Kind::String)
                    if (auto iso = IsoDate(t[valueStart].stringValue()))
                        candidates.push_back({column, &t[valueStart], *iso});
                ++column;
                valueStart = i + 1;
                if (tok.isPunctuation(')'))
                    break;
            }
        }
        if (!at(i))
            return sql;
        ++i; // past ")"
        if (at(i) && at(i)->isPunctuation(','))
            ++i;
        else
            break;
    }
    if (candidates.empty())
        return sql;

    const auto tableColumns = columns(table);
    if (!tableColumns)
        return sql;
    std::vector<bool> isDate;
    if (named.empty()) {
        for (const ColumnInfo& c : *tableColumns)
            isDate.push_back(IsDateType(c.declaredType));
    } else {
        for (const std::string& name : named) {
            bool date = false;
            for (const ColumnInfo& c : *tableColumns)
                if (UpperAscii(c.name) == name)
                    date = IsDateType(c.declaredType);
            isDate.push_back(date);
        }
    }

    std::string out;
    std::size_t copied = 0;
    for (const Candidate& c : candidates) {
        if (c.column >= isDate.size() || !isDate[c.column])
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
