#include "db/InsertStatement.h"

namespace db {
namespace {

bool IsName(const SqlToken& t) {
    return t.kind == SqlToken::Kind::Word || t.kind == SqlToken::Kind::QuotedName;
}

} // namespace

std::optional<InsertStatement> InsertStatement::Parse(const std::vector<SqlToken>& t) {
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> const SqlToken* { return k < t.size() ? &t[k] : nullptr; };

    if (!at(i) || !(at(i)->isWord("insert") || at(i)->isWord("replace")))
        return std::nullopt;
    ++i;
    if (at(i) && at(i)->isWord("or"))
        i += 2;
    if (!at(i) || !at(i)->isWord("into"))
        return std::nullopt;
    ++i;
    if (!at(i) || !IsName(*at(i)))
        return std::nullopt;
    InsertStatement insert;
    insert.table = at(i)->name();
    ++i;
    if (at(i) && at(i)->isPunctuation('.') && at(i + 1) && IsName(*at(i + 1))) {
        insert.table = at(i + 1)->name();
        i += 2;
    }
    if (at(i) && at(i)->isWord("as"))
        i += 2;

    if (at(i) && at(i)->isPunctuation('(')) {
        ++i;
        while (at(i) && IsName(*at(i))) {
            insert.named.push_back(UpperAscii(at(i)->name()));
            ++i;
            if (at(i) && at(i)->isPunctuation(','))
                ++i;
            else
                break;
        }
        if (!at(i) || !at(i)->isPunctuation(')'))
            return std::nullopt;
        ++i;
    }
    if (!at(i) || !at(i)->isWord("values"))
        return std::nullopt;
    ++i;

    while (at(i) && at(i)->isPunctuation('(')) {
        ++i;
        std::size_t column = 0;
        std::size_t start = i;
        int depth = 0;
        for (; at(i); ++i) {
            const SqlToken& token = *at(i);
            if (token.kind == SqlToken::Kind::Unterminated)
                return std::nullopt;
            if (token.isPunctuation('('))
                ++depth;
            else if (depth > 0 && token.isPunctuation(')'))
                --depth;
            else if (depth == 0 && (token.isPunctuation(',') || token.isPunctuation(')'))) {
                insert.values.push_back({column++, start, i});
                start = i + 1;
                if (token.isPunctuation(')'))
                    break;
            }
        }
        if (!at(i))
            return std::nullopt;
        ++i; // past ")"
        if (at(i) && at(i)->isPunctuation(','))
            ++i;
        else
            break;
    }
    return insert;
}

std::vector<std::optional<std::string>>
InsertStatement::DeclaredTypes(const std::vector<ColumnInfo>& tableColumns) const {
    std::vector<std::optional<std::string>> types;
    if (named.empty()) {
        for (const ColumnInfo& c : tableColumns)
            types.emplace_back(c.declaredType);
        return types;
    }
    for (const std::string& name : named) {
        std::optional<std::string> type;
        for (const ColumnInfo& c : tableColumns)
            if (UpperAscii(c.name) == name)
                type = c.declaredType;
        types.push_back(std::move(type));
    }
    return types;
}

} // namespace db
