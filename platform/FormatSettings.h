#pragma once
// The run-time library's number formatting, with its process-wide decimal
// separator.

#include <string>

namespace platform {

// The separator that FloatToStr writes. Setting it also switches the C
// library's numeric locale to "C", so that printf-style formatting anywhere
// in the process agrees with it whatever the regional settings say.
void SetDecimalSeparator(char separator);
char DecimalSeparator();

// Shortest text that reads back as the same double, with DecimalSeparator.
std::string FloatToStr(double value);

} // namespace platform
