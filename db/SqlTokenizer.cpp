#include "db/SqlTokenizer.h"

namespace db {
namespace {

bool IsWordStart(unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_' || ch >= 0x80;
}

bool IsDigit(unsigned char ch) {
    return ch >= '0' && ch <= '9';
}

bool IsWordPart(unsigned char ch) {
    return IsWordStart(ch) || IsDigit(ch) || ch == '$';
}

bool IsBlank(unsigned char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v';
}

// The end of a quoted run that starts at `start` with `open` and ends with
// `close`; a doubled closing quote stands for itself. npos when unterminated.
std::size_t QuotedEnd(std::string_view sql, std::size_t start, char close) {
    std::size_t i = start + 1;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return std::string_view::npos;
}

char ToUpperAscii(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
}

std::string Undouble(std::string_view inner, char quote) {
    std::string out;
    out.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        out.push_back(inner[i]);
        if (inner[i] == quote && i + 1 < inner.size() && inner[i + 1] == quote)
            ++i;
    }
    return out;
}

} // namespace

bool SqlToken::isWord(std::string_view keyword) const {
    if (kind != Kind::Word || text.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (ToUpperAscii(text[i]) != ToUpperAscii(keyword[i]))
            return false;
    return true;
}

bool IsSqlWordPart(unsigned char ch) {
    return IsWordPart(ch);
}

std::optional<std::string> ReadSqlString(std::string_view sql, std::size_t& pos) {
    if (pos >= sql.size() || sql[pos] != '\'')
        return std::nullopt;
    const std::size_t end = QuotedEnd(sql, pos, '\'');
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string value = Undouble(sql.substr(pos + 1, end - pos - 2), '\'');
    pos = end;
    return value;
}

std::string SqlToken::name() const {
    if (kind != Kind::QuotedName)
        return std::string(text);
    const char quote = text[0] == '[' ? ']' : text[0];
    return Undouble(text.substr(1, text.size() - 2), quote);
}

std::string SqlToken::stringValue() const {
    return Undouble(text.substr(1, text.size() - 2), '\'');
}

std::vector<SqlToken> SqlTokenizer::Tokenize(std::string_view sql) {
    std::vector<SqlToken> tokens;
    tokens.reserve(sql.size() / 3 + 1);
    std::size_t i = 0;
    while (i < sql.size()) {
        const unsigned char ch = static_cast<unsigned char>(sql[i]);
        const std::size_t start = i;
        SqlToken::Kind kind;
        if (IsBlank(ch)) {
            while (i < sql.size() && IsBlank(static_cast<unsigned char>(sql[i])))
                ++i;
            kind = SqlToken::Kind::Blank;
        } else if (ch == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const auto end = sql.find('\n', i);
            i = end == std::string_view::npos ? sql.size() : end;
            kind = SqlToken::Kind::Comment;
        } else if (ch == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const auto end = sql.find("*/", i + 2);
            kind = end == std::string_view::npos ? SqlToken::Kind::Unterminated
                                                 : SqlToken::Kind::Comment;
            i = end == std::string_view::npos ? sql.size() : end + 2;
        } else if (ch == '\'' || ch == '"' || ch == '`' || ch == '[') {
            const char close = ch == '[' ? ']' : static_cast<char>(ch);
            const auto end = QuotedEnd(sql, i, close);
            if (end == std::string_view::npos) {
                kind = SqlToken::Kind::Unterminated;
                i = sql.size();
            } else {
                kind = ch == '\'' ? SqlToken::Kind::String : SqlToken::Kind::QuotedName;
                i = end;
            }
        } else if (IsWordStart(ch)) {
            while (i < sql.size() && IsWordPart(static_cast<unsigned char>(sql[i])))
                ++i;
            kind = SqlToken::Kind::Word;
        } else if (IsDigit(ch) || (ch == '.' && i + 1 < sql.size() &&
                                   IsDigit(static_cast<unsigned char>(sql[i + 1])))) {
            while (i < sql.size() &&
                   (IsWordPart(static_cast<unsigned char>(sql[i])) || sql[i] == '.'))
                ++i;
            kind = SqlToken::Kind::Number;
        } else {
            ++i;
            kind = SqlToken::Kind::Punctuation;
        }
        tokens.push_back({kind, start, sql.substr(start, i - start)});
    }
    return tokens;
}

std::vector<SqlToken> SqlTokenizer::Significant(std::string_view sql) {
    std::vector<SqlToken> tokens = Tokenize(sql);
    std::erase_if(tokens, [](const SqlToken& t) {
        return t.kind == SqlToken::Kind::Blank || t.kind == SqlToken::Kind::Comment;
    });
    return tokens;
}

std::string UpperAscii(std::string text) {
    for (char& ch : text)
        ch = ToUpperAscii(ch);
    return text;
}

} // namespace db
