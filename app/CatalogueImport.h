#pragma once
// The catalogue import: merges the lines of the catalogue file into MARKI,
// MODELE and WERSJE through the run's work query. For every line the make is
// found by name, the model by name under that make and the version by name
// under that model; whatever is missing is inserted under a key one below the
// smallest key of kind 0 in its table. Existing rows are never changed.
//
// There is no transaction: every insert takes effect when it runs, so a
// failure keeps the lines merged before it, and a later run finds them.

#include "app/CatalogueLine.h"

#include <cstdint>
#include <string>
#include <string_view>

class TWaitMessage;

namespace db {
class TQuery;
}

namespace app {

class TCatalogueImport {
public:
    // The import works through the query and shows its progress in the wait
    // window (none: no progress is shown); neither is owned.
    TCatalogueImport(db::TQuery& workQuery, TWaitMessage* komunikat);

    // Reads the file and merges every line. Returns completed: true only when
    // every line was merged. A failure ends the import at its line and is
    // reported in a warning box; the lines before it stay merged.
    bool Run(const std::string& path);

    // Merges one parsed line (the make, model and version steps).
    void MergeLine(const CatalogueLine& line);

    // A name as a statement literal's content: upper-cased by the code page,
    // every apostrophe doubled.
    static std::string NameLiteral(std::string_view name);
    // Any other text as a literal's content: every apostrophe doubled. A
    // production date is built from characters of the file, which may be
    // apostrophes too.
    static std::string TextLiteral(std::string_view text);

    // The wait window's text while the catalogue is read, and before line
    // number (counted from 1) the same with the progress.
    static constexpr const char* kReadingMessage = "Wczytuje marki, modele i werjse\n";
    static std::string ProgressMessage(std::size_t lineNumber, std::size_t lineCount);

private:
    void MakeStep(const CatalogueLine& line);
    void ModelStep(const CatalogueLine& line);
    void VersionStep(const CatalogueLine& line);

    // Closes the query, replaces its text and opens it on the first row.
    void Select(const std::string& sql);
    void Execute(const std::string& sql);
    // One below a smallest key; a smallest key at the bottom of the 32-bit
    // range leaves no key below it and raises a range error.
    static std::int32_t KeyBelow(std::int32_t smallest);

    db::TQuery& FQuery;
    TWaitMessage* FKomunikat;

    // The import memory: the names (as parsed) of the last line each step
    // ran for, and the keys the following lines work under.
    std::string FMakeName;
    std::string FModelName;
    std::string FVersionName;
    std::int32_t FMakeKey = 0;
    std::int32_t FModelKey = 0;
};

// A catalogue number as a whole decimal number: 0 when empty, not a whole
// number or outside 32 bits.
std::int32_t CatalogueNumber(std::string_view text);

} // namespace app
