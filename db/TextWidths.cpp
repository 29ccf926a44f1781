#include "db/TextWidths.h"

#include "db/EDBEngineError.h"
#include "db/InsertStatement.h"
#include "db/SqlTokenizer.h"

#include <cctype>
#include <string_view>

namespace db {
namespace {

std::size_t Utf8Characters(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char ch : text)
        count += (ch & 0xC0) != 0x80;
    return count;
}

} // namespace

std::optional<TextWidths::Width> TextWidths::DeclaredWidth(const std::string& declaredType) {
    std::string type = UpperAscii(declaredType);
    const auto open = type.find('(');
    const auto close = type.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    std::string name = type.substr(0, open);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    bool padded;
    if (name == "VARCHAR" || name == "CHARACTER VARYING" || name == "NVARCHAR" ||
        name == "VARYING CHARACTER")
        padded = false;
    else if (name == "CHAR" || name == "CHARACTER" || name == "NCHAR")
        padded = true;
    else
        return std::nullopt;
    std::size_t width = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        if (type[i] == ' ')
            continue;
        if (!std::isdigit(static_cast<unsigned char>(type[i])))
            return std::nullopt;
        width = width * 10 + static_cast<std::size_t>(type[i] - '0');
    }
    if (width == 0)
        return std::nullopt;
    return Width{width, padded};
}

std::vector<std::optional<TextWidths::Width>>
TextWidths::Limits(const StatementShape& shape, const ColumnLookup& columns) const {
    std::vector<std::optional<Width>> limits(shape.values.size());
    const std::vector<SqlToken> t = SqlTokenizer::Significant(shape.text);
    const auto insert = InsertStatement::Parse(t);
    if (!insert)
        return limits;
    const auto tableColumns = columns(insert->table);
    if (!tableColumns)
        return limits;
    const std::vector<std::optional<std::string>> types = insert->DeclaredTypes(*tableColumns);
    // A value that is one parameter alone ("?k") is held to its column.
    for (const InsertStatement::Item& value : insert->values) {
        if (value.size() != 2 || !t[value.first].isPunctuation('?') ||
            t[value.first + 1].kind != SqlToken::Kind::Number || value.column >= types.size() ||
            !types[value.column])
            continue;
        const auto k = static_cast<std::size_t>(std::stoul(std::string(t[value.first + 1].text)));
        if (k >= 1 && k <= limits.size())
            limits[k - 1] = DeclaredWidth(*types[value.column]);
    }
    return limits;
}

void TextWidths::Check(const StatementShape& shape, const ColumnLookup& columns) {
    if (shape.text.size() < 6 || UpperAscii(shape.text.substr(0, 6)) != "INSERT")
        return;
    auto found = FLimits.find(shape.text);
    if (found == FLimits.end())
        found = FLimits.emplace(shape.text, Limits(shape, columns)).first;
    const auto& limits = found->second;
    for (std::size_t k = 0; k < limits.size() && k < shape.values.size(); ++k) {
        const Value& value = shape.values[k];
        if (!limits[k] || value.kind() != Value::Kind::Text)
            continue;
        std::string text = value.text();
        // Trailing blanks beyond the width are dropped, as the server drops
        // them, not refused.
        if (Utf8Characters(text) > limits[k]->characters) {
            while (!text.empty() && text.back() == ' ' &&
                   Utf8Characters(text) > limits[k]->characters)
                text.pop_back();
            if (Utf8Characters(text) > limits[k]->characters)
                throw EDBEngineError(std::string("value too long for type ") +
                                     (limits[k]->padded ? "character(" : "character varying(") +
                                     std::to_string(limits[k]->characters) + ")");
        }
    }
}

} // namespace db
