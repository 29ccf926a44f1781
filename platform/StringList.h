#pragma once
// The framework's string list: an ordered list of Windows-1250 lines, kept
// in case-insensitive order when Sorted. Header-only; it has no state beyond
// its lines.

#include "platform/Exception.h"
#include "platform/Win1250.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class TStringList {
public:
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(FLines.size()); }
    const std::string& operator[](int index) const { return FLines[checked(index)]; }
    // Replaces a line; a sorted list takes the new text at its ordered place.
    void Put(int index, std::string line) {
        checked(index);
        if (FSorted) {
            Delete(index);
            Add(std::move(line));
        } else {
            FLines[static_cast<std::size_t>(index)] = std::move(line);
        }
    }

    // Appends the line, or inserts it at its ordered place when Sorted;
    // returns its index.
    int Add(std::string line) {
        if (!FSorted) {
            FLines.push_back(std::move(line));
            return Count() - 1;
        }
        const int index = lowerBound(line);
        FLines.insert(FLines.begin() + index, std::move(line));
        return index;
    }
    void Delete(int index) { FLines.erase(FLines.begin() + checked(index)); }
    void Clear() { FLines.clear(); }

    bool getSorted() const { return FSorted; }
    void setSorted(bool value) {
        if (value && !FSorted)
            std::stable_sort(FLines.begin(), FLines.end(), [](const auto& a, const auto& b) {
                return AnsiCompareText(a, b) < 0;
            });
        FSorted = value;
    }

    // Every line followed by CR LF.
    std::string Text() const {
        std::string text;
        for (const std::string& line : FLines)
            text.append(line).append("\r\n");
        return text;
    }

protected:
    // Of a sorted list: the index of the first line that does not sort
    // before key.
    int lowerBound(std::string_view key) const {
        const auto it = std::lower_bound(FLines.begin(), FLines.end(), key,
                                         [](const std::string& line, std::string_view k) {
                                             return AnsiCompareText(line, k) < 0;
                                         });
        return static_cast<int>(it - FLines.begin());
    }

private:
    std::size_t checked(int index) const {
        if (index < 0 || index >= Count())
            throw Exception("List index out of bounds (" + std::to_string(index) + ")");
        return static_cast<std::size_t>(index);
    }

    std::vector<std::string> FLines;
    bool FSorted = false;
};

} // namespace platform
