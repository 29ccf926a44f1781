#pragma once
// The catalogue file as a list of lines, read whole before the first line is
// merged.

#include <string>
#include <vector>

namespace app {

// The catalogue's place: the directory of the running executable + "/mmw.csv".
// The download writes it and the import reads it.
std::string CataloguePath();

// Splits text into lines: a line ends at CR, LF or CR LF; a break at the very
// end adds no empty line; a NUL byte ends the text. Bytes stay as they are.
std::vector<std::string> SplitLines(std::string_view text);

// Reads the whole file into lines. Raises "Cannot open file " + path when the
// file cannot be opened.
std::vector<std::string> ReadCatalogue(const std::string& path);

} // namespace app
