#include "db/PostgresDialect.h"

#include "db/SqlTokenizer.h"
#include "platform/Win1250.h"

#include <algorithm>
#include <vector>

namespace db {
namespace {

using Kind = SqlToken::Kind;

struct Letters {
    std::string lower, upper;
    Letters() {
        for (int byte = 1; byte < 256; ++byte) {
            const auto b = static_cast<unsigned char>(byte);
            const unsigned char capital = platform::AnsiUpperChar(b);
            if (capital == b)
                continue;
            platform::AppendUtf8(lower, platform::Win1250ToUnicode(b));
            platform::AppendUtf8(upper, platform::Win1250ToUnicode(capital));
        }
    }
};

const Letters& TheLetters() {
    static const Letters letters;
    return letters;
}

struct Edit {
    std::size_t offset;
    std::size_t length;
    std::string text;
};

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

} // namespace

const std::string& PostgresDialect::LowerLetters() {
    return TheLetters().lower;
}

const std::string& PostgresDialect::UpperLetters() {
    return TheLetters().upper;
}

bool PostgresDialect::SingleStatement(std::string_view utf8Sql) {
    bool ended = false;
    for (const SqlToken& t : SqlTokenizer::Significant(utf8Sql)) {
        if (t.isPunctuation(';'))
            ended = true;
        else if (ended)
            return false;
    }
    return true;
}

std::string PostgresDialect::Translate(std::string_view sql) {
    const std::vector<SqlToken> t = SqlTokenizer::Significant(sql);
    std::vector<Edit> edits;
    const std::string closing = ", '" + TheLetters().lower + "', '" + TheLetters().upper + "')";
    for (std::size_t i = 0; i < t.size(); ++i) {
        const SqlToken& token = t[i];
        if (token.kind == Kind::QuotedName && token.text.front() == '"') {
            std::string folded(token.text);
            for (char& ch : folded)
                if (ch >= 'A' && ch <= 'Z')
                    ch = static_cast<char>(ch + 32);
            if (folded != token.text)
                edits.push_back({token.offset, token.text.size(), std::move(folded)});
        } else if (token.isPunctuation('?') && i + 1 < t.size() && t[i + 1].kind == Kind::Number &&
                   t[i + 1].offset == token.offset + 1 && IsDigits(t[i + 1].text)) {
            edits.push_back({token.offset, 1, "$"});
        } else if (token.isWord("upper") && i + 1 < t.size() && t[i + 1].isPunctuation('(') &&
                   !(i > 0 && t[i - 1].isPunctuation('.'))) {
            int depth = 0;
            std::size_t close = i + 1;
            for (; close < t.size(); ++close) {
                if (t[close].isPunctuation('('))
                    ++depth;
                else if (t[close].isPunctuation(')') && --depth == 0)
                    break;
            }
            if (close == t.size())
                continue; // unbalanced: the server says so about the text
            edits.push_back({token.offset, token.text.size(), "translate"});
            edits.push_back({t[close].offset, 1, closing});
        }
    }
    if (edits.empty())
        return std::string(sql);
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.offset < b.offset; });
    std::string out;
    out.reserve(sql.size() + edits.size() * closing.size());
    std::size_t copied = 0;
    for (const Edit& e : edits) {
        out.append(sql, copied, e.offset - copied);
        out += e.text;
        copied = e.offset + e.length;
    }
    out.append(sql, copied, std::string_view::npos);
    return out;
}

} // namespace db
