#pragma once
// TExStringList: the string list that holds the lines of a request header,
// "Name: value", with look-up and replacement by header name.

#include "platform/StringList.h"

#include <string>
#include <string_view>

class TExStringList : public platform::TStringList {
public:
    // The index of the first line whose name (the text before its first ":")
    // equals name but for letter case; lines without ":" are skipped; -1 if
    // none. A sorted list is searched by halving.
    int FindHeader(std::string_view name) const;

    // A non-empty value makes the found line, or a newly added one, read
    // name + ": " + value; an empty value deletes the found line.
    void SetHeader(std::string_view name, std::string_view value);
};
