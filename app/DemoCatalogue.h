#pragma once
// A synthetic vehicle catalogue of any length, shaped like the vendor's file:
// makes in blocks, then their models, then the versions, with Polish letters,
// apostrophes, open production ranges and lines that repeat the one before.
// The demo and the import benchmark both use it.

#include <string>

namespace app {

struct CatalogueShape {
    int lines = 0;
    int makes = 0;
    int models = 0;
    int versionLines = 0; // lines that are not a repeat of the one before
};

// Writes lineCount lines (Windows-1250, CR LF) to path, replacing the file.
// Deterministic: the same count always gives the same file. Raises
// platform::EFileError when the file cannot be written.
CatalogueShape WriteDemoCatalogue(const std::string& path, int lineCount);

} // namespace app
