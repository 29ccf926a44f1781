#pragma once
// One line of the vehicle catalogue file "mmw.csv": eight columns, each ended
// by ";", in the Windows-1250 code page.
//
//   make;model;model from-to;version;version from-to;KM/kW;column 7;capacity;
//
// Names are kept exactly as the file has them; whoever puts one into a
// statement quotes it there.

#include <string>
#include <string_view>

namespace app {

struct CatalogueLine {
    std::string MakeName;
    std::string ModelName;
    std::string ModelFrom; // YYYY.MM, or empty
    std::string ModelTo;   // YYYY.MM, or empty while production goes on
    std::string VersionName;
    std::string VersionFrom;
    std::string VersionTo;
    std::string PowerKM; // the part of the power column before "/"
    std::string PowerKW; // the part after "/", or the whole column without one
    std::string Column7;
    std::string Capacity; // engine capacity, column 8

    bool operator==(const CatalogueLine&) const = default;
};

// Splits one line. Never rejects a line: missing columns are empty. Raises
// ERangeError ("Range check error") for a production date that is too short
// to convert.
CatalogueLine ParseCatalogueLine(std::string_view line);

// "MM?YY..." to "YYYY.MM": years 00-19 are 2000-2019, 20-99 are 1920-1999;
// characters after the fifth are ignored. Raises ERangeError when the text
// has fewer than five characters.
std::string ConvertProductionDate(std::string_view text);

// Removes leading and trailing characters of code 32 and below.
std::string_view TrimControl(std::string_view text);

} // namespace app
