#include "db/StatementShape.h"

#include "db/SqlTokenizer.h"

#include <charconv>
#include <cstdint>

namespace db {
namespace {

using Kind = SqlToken::Kind;

bool IsAnyWord(const SqlToken& t, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (t.isWord(w))
            return true;
    return false;
}

// A literal is taken only where it stands as a value of an expression: after
// an operator, an opening parenthesis, a comma or a keyword that expects an
// expression. After anything else a string may be a name (an alias written
// without AS, a table after IN, a collation), and stays in the text.
bool ValueMayFollow(const SqlToken& previous) {
    if (previous.kind == Kind::Punctuation) {
        switch (previous.text[0]) {
        case '=':
        case '<':
        case '>':
        case '!':
        case ',':
        case '(':
        case '+':
        case '-':
        case '*':
        case '/':
        case '%':
        case '|':
        case '&':
        case '~':
            return true;
        default:
            return false;
        }
    }
    return IsAnyWord(previous,
                     {"and", "or", "not", "like", "glob", "regexp", "match", "is", "between",
                      "when", "then", "else", "case", "escape", "where", "limit", "offset"});
}

bool IsDecimalDigits(std::string_view text) {
    for (char ch : text)
        if (ch < '0' || ch > '9')
            return false;
    return !text.empty();
}

class Shaper {
public:
    explicit Shaper(std::string_view sql) : FSql(sql), FTokens(SqlTokenizer::Significant(sql)) {}

    std::optional<StatementShape> Run() {
        if (FTokens.empty() || !Acceptable())
            return std::nullopt;
        const SqlToken& first = FTokens[0];
        if (first.isWord("select") || first.isWord("delete"))
            TakeAfterWhere(1);
        else if (first.isWord("update"))
            TakeUpdate();
        else if (first.isWord("insert") || first.isWord("replace"))
            TakeValues();
        if (FTaken.empty())
            return std::nullopt;
        return Build();
    }

private:
    // Statements the shape leaves alone, and the end of the one statement.
    bool Acceptable() {
        FEnd = FTokens.size();
        for (std::size_t i = 0; i < FTokens.size(); ++i) {
            const SqlToken& t = FTokens[i];
            if (t.kind == Kind::Unterminated)
                return false;
            if (t.kind == Kind::Punctuation &&
                (t.text[0] == '?' || t.text[0] == ':' || t.text[0] == '@' || t.text[0] == '$' ||
                 t.text[0] == '#'))
                return false; // parameters of its own
            if (IsAnyWord(t, {"order", "group", "union", "intersect", "except", "window", "over",
                              "returning"}))
                return false;
            if (t.isPunctuation(';') && FEnd == FTokens.size())
                FEnd = i;
            else if (FEnd != FTokens.size() && !t.isPunctuation(';'))
                return false; // a second statement: it fails as written
        }
        return true;
    }

    // The index of the first word at parenthesis depth 0 from `from` on, or FEnd.
    std::size_t TopLevel(std::string_view word, std::size_t from) const {
        int depth = 0;
        for (std::size_t i = from; i < FEnd; ++i) {
            const SqlToken& t = FTokens[i];
            if (t.isPunctuation('('))
                ++depth;
            else if (t.isPunctuation(')'))
                --depth;
            else if (depth == 0 && t.isWord(word))
                return i;
        }
        return FEnd;
    }

    void TakeAfterWhere(std::size_t from) {
        const std::size_t where = TopLevel("where", from);
        for (std::size_t i = where + 1; i < FEnd; ++i)
            Consider(i);
    }

    // update ... set name = value, (names) = (values), ... [where ...]: the
    // names of the SET list stay, the values and the WHERE are taken.
    void TakeUpdate() {
        if (TopLevel("from", 1) != FEnd)
            return;
        const std::size_t set = TopLevel("set", 1);
        if (set == FEnd)
            return;
        const std::size_t where = TopLevel("where", set + 1);
        int depth = 0;
        bool value = false;
        for (std::size_t i = set + 1; i < where; ++i) {
            const SqlToken& t = FTokens[i];
            if (t.isPunctuation('('))
                ++depth;
            else if (t.isPunctuation(')'))
                --depth;
            else if (depth == 0 && t.isPunctuation('='))
                value = true;
            else if (depth == 0 && t.isPunctuation(','))
                value = false;
            else if (value)
                Consider(i);
        }
        for (std::size_t i = where + 1; i < FEnd; ++i)
            Consider(i);
    }

    // insert ... values (...), (...): the values of the lists, nothing after.
    void TakeValues() {
        if (TopLevel("select", 1) != FEnd)
            return;
        std::size_t i = TopLevel("values", 1);
        if (i == FEnd)
            return;
        ++i;
        while (i < FEnd && FTokens[i].isPunctuation('(')) {
            int depth = 0;
            for (; i < FEnd; ++i) {
                const SqlToken& t = FTokens[i];
                if (t.isPunctuation('('))
                    ++depth;
                else if (t.isPunctuation(')')) {
                    if (--depth == 0)
                        break;
                } else {
                    Consider(i);
                }
            }
            if (i == FEnd)
                return; // unbalanced: SQLite will say so, about the text as written
            ++i;        // past ")"
            if (i < FEnd && FTokens[i].isPunctuation(','))
                ++i;
            else
                break;
        }
    }

    void Consider(std::size_t i) {
        const SqlToken& t = FTokens[i];
        if (t.kind != Kind::String && t.kind != Kind::Number)
            return;
        if (i == 0 || !ValueMayFollow(FTokens[i - 1]))
            return;
        if (i + 1 < FEnd && FTokens[i + 1].isPunctuation('.'))
            return; // a qualifier, not a value
        if (t.kind == Kind::String) {
            FTaken.push_back({i, Value(t.stringValue())});
            return;
        }
        if (!IsDecimalDigits(t.text))
            return; // reals, hexadecimals and the like stay as SQLite reads them
        std::int64_t number = 0;
        const auto [end, ec] =
            std::from_chars(t.text.data(), t.text.data() + t.text.size(), number);
        if (ec != std::errc() || end != t.text.data() + t.text.size())
            return; // beyond 64 bits SQLite makes it a real
        FTaken.push_back({i, Value(number)});
    }

    StatementShape Build() const {
        StatementShape shape;
        shape.text.reserve(FSql.size());
        std::size_t copied = 0;
        int number = 0;
        for (const auto& [index, value] : FTaken) {
            const SqlToken& t = FTokens[index];
            shape.text.append(FSql, copied, t.offset - copied);
            shape.text += '?';
            shape.text += std::to_string(++number);
            copied = t.offset + t.text.size();
            shape.values.push_back(value);
        }
        shape.text.append(FSql, copied, std::string_view::npos);
        return shape;
    }

    std::string_view FSql;
    std::vector<SqlToken> FTokens;
    std::size_t FEnd = 0;
    std::vector<std::pair<std::size_t, Value>> FTaken;
};

} // namespace

std::optional<StatementShape> LiteralParameters::Shape(std::string_view utf8Sql) {
    return Shaper(utf8Sql).Run();
}

} // namespace db
