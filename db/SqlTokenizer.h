#pragma once
// A lexical split of one SQL statement, just fine enough to find the literal
// values of an insert: quoted strings (with '' standing for one apostrophe),
// quoted identifiers, words, numbers, comments, blanks and single punctuation
// characters. Tokens are views into the text they were cut from and cover it
// without gaps, so replacing a token's span rebuilds the statement exactly.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

struct SqlToken {
    enum class Kind {
        Blank,
        Comment,
        Word,       // an unquoted identifier or keyword
        QuotedName, // "name", `name` or [name]
        String,     // 'text'
        Number,
        Punctuation,  // one character
        Unterminated, // a quote or comment running to the end of the text
    };
    Kind kind;
    std::size_t offset;
    std::string_view text;

    bool isWord(std::string_view keyword) const; // case-insensitive (ASCII)
    bool isPunctuation(char ch) const { return kind == Kind::Punctuation && text[0] == ch; }
    // The name a Word or QuotedName stands for (quotes removed, doubled quotes undone).
    std::string name() const;
    // The text a String stands for (apostrophes removed, '' made one).
    std::string stringValue() const;
};

// SQL names and keywords compare without regard to ASCII letter case; other
// bytes (UTF-8 included) stay as they are.
std::string UpperAscii(std::string text);

// A byte that continues a word or a number run, as the tokenizer reads it.
bool IsSqlWordPart(unsigned char ch);

// The string literal at sql[pos] ('...' with '' for one apostrophe), read as
// the tokenizer reads it: its value, and pos moved past it; nullopt when no
// literal starts there or it is unterminated (pos is then unchanged).
std::optional<std::string> ReadSqlString(std::string_view sql, std::size_t& pos);

class SqlTokenizer {
public:
    static std::vector<SqlToken> Tokenize(std::string_view sql);
    // The same without blanks and comments.
    static std::vector<SqlToken> Significant(std::string_view sql);
};

} // namespace db
