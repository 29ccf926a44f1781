#include "app/CatalogueLine.h"

#include "platform/Exception.h"

#include <array>

namespace app {
namespace {

constexpr int kColumns = 8;

bool IsBlank(char ch) {
    return static_cast<unsigned char>(ch) <= 32;
}

// A range "from-to": from is always converted, to only when present.
void SplitRange(std::string_view column, std::string& from, std::string& to) {
    const auto dash = column.find('-');
    if (dash == std::string_view::npos)
        return;
    from = ConvertProductionDate(TrimControl(column.substr(0, dash)));
    const std::string_view rest = TrimControl(column.substr(dash + 1));
    if (!rest.empty())
        to = ConvertProductionDate(rest);
}

} // namespace

std::string_view TrimControl(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string ConvertProductionDate(std::string_view text) {
    if (text.size() < 5)
        throw platform::ERangeError();
    const char* century = (text[3] == '0' || text[3] == '1') ? "20" : "19";
    std::string date(century);
    date += text[3];
    date += text[4];
    date += '.';
    date += text[0];
    date += text[1];
    return date;
}

CatalogueLine ParseCatalogueLine(std::string_view line) {
    // Once the separators run out, this and every further column are empty;
    // text after the last ";" is never read.
    std::array<std::string_view, kColumns> column{};
    std::string_view rest = line;
    for (auto& col : column) {
        const auto semicolon = rest.find(';');
        if (semicolon == std::string_view::npos)
            break;
        col = TrimControl(rest.substr(0, semicolon));
        rest.remove_prefix(semicolon + 1);
    }

    CatalogueLine out;
    out.MakeName = column[0];
    out.ModelName = column[1];
    SplitRange(column[2], out.ModelFrom, out.ModelTo);
    out.VersionName = column[3];
    SplitRange(column[4], out.VersionFrom, out.VersionTo);
    const std::string_view power = column[5];
    if (!power.empty()) {
        const auto slash = power.find('/');
        if (slash == std::string_view::npos) {
            out.PowerKW = power;
        } else {
            out.PowerKM = power.substr(0, slash);
            out.PowerKW = power.substr(slash + 1);
        }
    }
    out.Column7 = column[6];
    out.Capacity = column[7];
    return out;
}

} // namespace app
