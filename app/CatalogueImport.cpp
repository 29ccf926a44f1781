#include "app/CatalogueImport.h"

#include "app/CatalogueFile.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "platform/Application.h"
#include "platform/Exception.h"
#include "platform/Win1250.h"
#include "waitmessage/Waitmessage.h"

#include <charconv>
#include <exception>
#include <limits>
#include <vector>

namespace app {
std::int32_t CatalogueNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        // from_chars reads the "-" of "+-5" as the sign: one sign only.
        if (!text.empty() && text.front() == '-')
            return 0;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return 0;
    return value;
}

TCatalogueImport::TCatalogueImport(db::TQuery& workQuery, TWaitMessage* komunikat)
    : FQuery(workQuery), FKomunikat(komunikat) {}

std::string TCatalogueImport::NameLiteral(std::string_view name) {
    return TextLiteral(platform::AnsiUpperCase(name));
}

std::string TCatalogueImport::TextLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char ch : text) {
        out.push_back(ch);
        if (ch == '\'')
            out.push_back('\'');
    }
    return out;
}

std::string TCatalogueImport::ProgressMessage(std::size_t lineNumber, std::size_t lineCount) {
    return kReadingMessage + std::to_string(lineNumber) + " z " + std::to_string(lineCount);
}

std::int32_t TCatalogueImport::KeyBelow(std::int32_t smallest) {
    if (smallest == std::numeric_limits<std::int32_t>::min())
        throw platform::ERangeError();
    return smallest - 1;
}

bool TCatalogueImport::Run(const std::string& path) {
    FMakeName.clear();
    FModelName.clear();
    FVersionName.clear();
    try {
        std::vector<std::string> lines = ReadCatalogue(path);
        const std::size_t count = lines.size();
        for (std::size_t i = 0; i < count; ++i) {
            if ((i + 1) % 100 == 0 && FKomunikat) {
                FKomunikat->setMessage(ProgressMessage(i + 1, count));
                platform::ProcessMessages();
            }
            MergeLine(ParseCatalogueLine(lines[i]));
        }
        return true;
    } catch (const std::exception& e) {
        platform::MessageBox(platform::Pl("Wystąpił błąd podczas pobierania danych z serwera\n") +
                                 e.what() + "\n",
                             "Uwaga", platform::MB_OK | platform::MB_ICONWARNING);
        return false;
    }
}

void TCatalogueImport::MergeLine(const CatalogueLine& line) {
    // A line without a make name (a blank line among them) names nothing to
    // merge; the memory stays as the previous line left it.
    if (line.MakeName.empty())
        return;
    if (line.MakeName != FMakeName)
        MakeStep(line);
    if (line.ModelName != FModelName)
        ModelStep(line);
    if (line.VersionName != FVersionName)
        VersionStep(line);
}

void TCatalogueImport::Select(const std::string& sql) {
    FQuery.Close();
    FQuery.setSQL(sql);
    FQuery.Open();
}

void TCatalogueImport::Execute(const std::string& sql) {
    FQuery.Close();
    FQuery.setSQL(sql);
    FQuery.ExecSQL();
}

void TCatalogueImport::MakeStep(const CatalogueLine& line) {
    const std::string n = NameLiteral(line.MakeName);
    FMakeName = line.MakeName;
    FModelName.clear();
    FVersionName.clear();
    try {
        Select("select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = '" + n + "'");
    } catch (const std::exception&) {
        // Not reported here: the closed result below fails with the
        // closed-dataset error, and that ends the import.
    }
    if (FQuery.getRecordCount() > 0) {
        FMakeKey = FQuery.FieldByName("MARKA")->getAsInteger();
        return;
    }
    Select("select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0");
    FMakeKey = KeyBelow(FQuery.FieldByName("MIN_MARKA")->getAsInteger());
    Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, " + std::to_string(FMakeKey) +
            ", '" + n + "')");
}

void TCatalogueImport::ModelStep(const CatalogueLine& line) {
    const std::string n = NameLiteral(line.ModelName);
    FModelName = line.ModelName;
    FVersionName.clear();
    Select("select MODEL from MODELE where RDZPOJ = 0 and MARKA = " + std::to_string(FMakeKey) +
           " and upper(NAZWA) = '" + n + "'");
    if (FQuery.getRecordCount() > 0) {
        FModelKey = FQuery.FieldByName("MODEL")->getAsInteger();
        return;
    }
    Select("select min(MODEL) MIN_MODEL from MODELE where RDZPOJ = 0");
    if (FQuery.getRecordCount() == 0)
        return;
    FModelKey = KeyBelow(FQuery.FieldByName("MIN_MODEL")->getAsInteger());
    Execute("insert into MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO) VALUES (0, " +
            std::to_string(FMakeKey) + ", " + std::to_string(FModelKey) + ",'" + n + "','" +
            TextLiteral(line.ModelFrom) + "','" + TextLiteral(line.ModelTo) + "')");
}

void TCatalogueImport::VersionStep(const CatalogueLine& line) {
    const std::string n = NameLiteral(line.VersionName);
    FVersionName = line.VersionName;
    Select("select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = " + std::to_string(FModelKey) +
           " and upper(NAZWA) = '" + n + "'");
    if (FQuery.getRecordCount() > 0)
        return;
    Select("select min(WERSJA) MIN_WERSJA from WERSJE where RDZPOJ = 0");
    if (FQuery.getRecordCount() == 0)
        return;
    const std::int32_t key = KeyBelow(FQuery.FieldByName("MIN_WERSJA")->getAsInteger());
    // Both engine capacities come from column 8.
    const std::string capacity = std::to_string(CatalogueNumber(line.Capacity));
    Execute("insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, "
            "POJ_TAX, MOC_KW, MOC_KM) VALUES (0, " +
            std::to_string(FModelKey) + ", " + std::to_string(key) + ",'" + n + "','" +
            TextLiteral(line.VersionFrom) + "','" + TextLiteral(line.VersionTo) + "'," + capacity +
            "," + capacity + "," + std::to_string(CatalogueNumber(line.PowerKW)) + "," +
            std::to_string(CatalogueNumber(line.PowerKM)) + ")");
}

} // namespace app
