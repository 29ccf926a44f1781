#include "db/ShapeMemo.h"

#include "db/SqlTokenizer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace db {
namespace {

// A whole decimal number at text[pos] that the tokenizer would read as one
// number token on its own: digits only, not run on into a word or a real.
std::optional<std::int64_t> ReadInteger(std::string_view text, std::size_t& pos) {
    std::size_t end = pos;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == pos)
        return std::nullopt;
    if (end < text.size() &&
        (IsSqlWordPart(static_cast<unsigned char>(text[end])) || text[end] == '.'))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [last, ec] = std::from_chars(text.data() + pos, text.data() + end, value);
    if (ec != std::errc() || last != text.data() + end)
        return std::nullopt;
    pos = end;
    return value;
}

} // namespace

std::optional<std::vector<Value>> ShapeMemo::Fill(const Skeleton& skeleton, std::string_view utf8) {
    // Another skeleton's statement nearly always differs in its first piece:
    // told apart before anything is made.
    if (utf8.compare(0, skeleton.pieces.front().size(), skeleton.pieces.front()) != 0)
        return std::nullopt;
    std::vector<Value> values;
    values.reserve(skeleton.textHole.size());
    std::size_t pos = 0;
    for (std::size_t k = 0; k < skeleton.pieces.size(); ++k) {
        const std::string& piece = skeleton.pieces[k];
        if (utf8.compare(pos, piece.size(), piece) != 0)
            return std::nullopt;
        pos += piece.size();
        if (k == skeleton.textHole.size())
            break;
        if (skeleton.textHole[k]) {
            auto text = ReadSqlString(utf8, pos);
            if (!text)
                return std::nullopt;
            values.emplace_back(std::move(*text));
        } else {
            const auto number = ReadInteger(utf8, pos);
            if (!number)
                return std::nullopt;
            values.emplace_back(*number);
        }
    }
    if (pos != utf8.size())
        return std::nullopt;
    return values;
}

std::optional<ShapeMemo::Skeleton> ShapeMemo::Build(const StatementShape& shape) {
    Skeleton skeleton;
    skeleton.shapeText = shape.text;
    std::string piece;
    std::size_t hole = 0;
    const std::string& text = shape.text;
    for (std::size_t i = 0; i < text.size();) {
        std::string marker(1, '?');
        marker += std::to_string(hole + 1);
        if (hole < shape.values.size() && text.compare(i, marker.size(), marker) == 0 &&
            (i + marker.size() == text.size() || text[i + marker.size()] < '0' ||
             text[i + marker.size()] > '9')) {
            skeleton.pieces.push_back(std::move(piece));
            piece.clear();
            const Value& value = shape.values[hole];
            if (value.kind() != Value::Kind::Text && value.kind() != Value::Kind::Integer)
                return std::nullopt;
            skeleton.textHole.push_back(value.kind() == Value::Kind::Text);
            ++hole;
            i += marker.size();
            continue;
        }
        piece.push_back(text[i]);
        ++i;
    }
    if (hole != shape.values.size())
        return std::nullopt;
    skeleton.pieces.push_back(std::move(piece));
    return skeleton;
}

std::optional<StatementShape> ShapeMemo::Match(std::string_view utf8) {
    for (Skeleton& skeleton : FSkeletons) {
        auto values = Fill(skeleton, utf8);
        if (!values)
            continue;
        skeleton.lastUse = ++FUses;
        return StatementShape{skeleton.shapeText, std::move(*values)};
    }
    return std::nullopt;
}

void ShapeMemo::Remember(std::string_view utf8, const StatementShape& shape) {
    // A shape already known (its statement took the long way for a date,
    // say) counts as just used; a second copy would only push others out.
    const auto known = std::find_if(FSkeletons.begin(), FSkeletons.end(),
                                    [&](const Skeleton& s) { return s.shapeText == shape.text; });
    if (known != FSkeletons.end()) {
        known->lastUse = ++FUses;
        return;
    }
    auto skeleton = Build(shape);
    if (!skeleton)
        return;
    // The skeleton must read the statement it came from back into exactly
    // its shape's values; otherwise its pieces are not what they seem.
    const auto values = Fill(*skeleton, utf8);
    if (!values || *values != shape.values)
        return;
    if (FCapacity == 0)
        return;
    skeleton->lastUse = ++FUses;
    if (FSkeletons.size() >= FCapacity) {
        *std::min_element(FSkeletons.begin(), FSkeletons.end(),
                          [](const Skeleton& a, const Skeleton& b) {
                              return a.lastUse < b.lastUse;
                          }) = std::move(*skeleton);
        return;
    }
    FSkeletons.push_back(std::move(*skeleton));
}

} // namespace db
