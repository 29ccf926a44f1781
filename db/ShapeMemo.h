#pragma once
// The shapes of recent statements, remembered as skeletons: the statement's
// text in pieces, with a hole wherever a literal became a parameter. A new
// statement that repeats a skeleton's pieces exactly and has a literal of the
// same kind in each hole has that skeleton's shape, since nothing the shape
// depends on differs; it gets its shape from one pass over its text instead
// of from the tokenizer. An import runs a handful of shapes hundreds of
// thousands of times.

#include "db/StatementShape.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class ShapeMemo {
public:
    explicit ShapeMemo(std::size_t capacity = 16) : FCapacity(capacity) {}

    // The shape of a UTF-8 statement from a remembered skeleton; nullopt when
    // none fits. A skeleton that fits counts as just used.
    std::optional<StatementShape> Match(std::string_view utf8);

    // Remembers the skeleton of a statement and its shape. Nothing is kept
    // when the shape's text cannot be read back into the same values (a "?"
    // of its own in a literal that stayed, say).
    void Remember(std::string_view utf8, const StatementShape& shape);

    std::size_t size() const { return FSkeletons.size(); }

private:
    struct Skeleton {
        std::string shapeText;
        unsigned long lastUse = 0;
        std::vector<std::string> pieces; // one more than holes
        std::vector<bool> textHole;      // per hole: a string literal, else an integer
    };

    static std::optional<std::vector<Value>> Fill(const Skeleton& skeleton, std::string_view utf8);
    static std::optional<Skeleton> Build(const StatementShape& shape);

    std::size_t FCapacity;
    // The least recently used goes first when the memo is full. Skeletons
    // stay where they are: a statement tries each in turn, and one that is
    // not its own fails on its first piece.
    std::vector<Skeleton> FSkeletons;
    unsigned long FUses = 0;
};

} // namespace db
