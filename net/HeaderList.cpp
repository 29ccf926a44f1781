#include "net/HeaderList.h"

namespace {

// The name of a header line, or nothing when the line has no ":".
bool HeaderName(std::string_view line, std::string_view& name) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    name = line.substr(0, colon);
    return true;
}

} // namespace

int TExStringList::FindHeader(std::string_view name) const {
    std::string_view lineName;
    if (getSorted()) {
        // Every line named name begins with name + ":", and those lines sit
        // together from the first line that does not sort before that key.
        const std::string key = std::string(name) + ":";
        const int index = lowerBound(key);
        if (index < Count() && HeaderName((*this)[index], lineName) &&
            platform::AnsiSameText(lineName, name))
            return index;
        return -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (HeaderName((*this)[i], lineName) && platform::AnsiSameText(lineName, name))
            return i;
    return -1;
}

void TExStringList::SetHeader(std::string_view name, std::string_view value) {
    const int index = FindHeader(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    std::string line;
    line.reserve(name.size() + 2 + value.size());
    line.append(name).append(": ").append(value);
    if (index >= 0)
        Put(index, std::move(line));
    else
        Add(std::move(line));
}
