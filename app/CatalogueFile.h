#pragma once
// The catalogue file as a list of lines, read whole before the first line is
// merged.

#include <string>
#include <vector>

namespace app {

// The catalogue beside the program: the directory of the running executable
// + "/mmw.csv".
std::string CataloguePath();

// Where the download writes the catalogue: programDir + "/mmw.csv" when that
// directory is writable (as it is where the program was simply copied);
// else cacheDir + "/mmw/mmw.csv", in the user's own cache (as for a program
// installed under /usr).
std::string CatalogueTarget(const std::string& programDir, bool programDirWritable,
                            const std::string& cacheDir);

// The same for this process: the running executable's directory and the
// user's cache directory. The directories of a target in the cache are
// created when missing.
std::string CatalogueTarget();

// The file the import reads once the download into target has ended.
// Target itself after a download that succeeded, and whenever target is the
// file beside the program. After a failed download into the cache: the file
// beside the program when one stands there, placed on purpose for an update
// without a network; else target (an earlier download's file, or none).
std::string CatalogueToImport(const std::string& target, bool downloaded,
                              const std::string& beside = CataloguePath());

// Splits text into lines: a line ends at CR, LF or CR LF; a break at the very
// end adds no empty line; a NUL byte ends the text. Bytes stay as they are.
std::vector<std::string> SplitLines(std::string_view text);

// Reads the whole file into lines. Raises "Cannot open file " + path when the
// file cannot be opened.
std::vector<std::string> ReadCatalogue(const std::string& path);

} // namespace app
