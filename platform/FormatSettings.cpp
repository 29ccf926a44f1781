#include "platform/FormatSettings.h"

#include <clocale>
#include <cstdio>

namespace platform {
namespace {
char gDecimalSeparator = '.';
}

void SetDecimalSeparator(char separator) {
    gDecimalSeparator = separator;
    std::setlocale(LC_NUMERIC, "C");
}

char DecimalSeparator() {
    return gDecimalSeparator;
}

std::string FloatToStr(double value) {
    char buf[64];
    // The C locale is forced here, so the text always has "." before the
    // separator is put in; 15 significant digits as the run-time library.
    int len = std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string text(buf, len > 0 ? static_cast<std::size_t>(len) : 0);
    for (char& ch : text)
        if (ch == '.' || ch == ',')
            ch = gDecimalSeparator;
    return text;
}

} // namespace platform
