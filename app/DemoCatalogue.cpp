#include "app/DemoCatalogue.h"

#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {
namespace {

using platform::Pl;

// Deterministic, so every run measures the same file.
class Random {
public:
    std::uint32_t next() {
        FState = FState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(FState >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t FState = 0x2545F4914F6CDD1DULL;
};

// UTF-8 here; written to the file in Windows-1250.
const char* const kMakes[] = {
    "Audi",    "BMW",        "Citroën", "Dacia",      "Fiat",          "Ford",
    "Honda",   "Hyundai",    "Kia",     "Mazda",      "Mercedes-Benz", "Mitsubishi",
    "Nissan",  "Opel",       "Peugeot", "Renault",    "Seat",          "Škoda",
    "Toyota",  "Volkswagen", "Volvo",   "Alfa Romeo", "Chevrolet",     "Chrysler",
    "Daewoo",  "Jeep",       "Lancia",  "Land Rover", "Lexus",         "Mini",
    "Porsche", "Saab",       "Subaru",  "Suzuki",     "Smart",         "FSO",
    "Syrena",  "Żuk",        "Jelcz",   "Tarpan",
};

const char* const kModels[] = {
    "A4",    "Octavia", "Passat", "Corolla",       "Clio",       "Kadett", "Cee'd",  "Pro_cee'd",
    "Łoś",   "Ślązak",  "Żubr",   "Astra",         "Golf",       "Focus",  "Megane", "Punto",
    "Panda", "Yaris",   "Civic",  "Accord",        "Laguna",     "Vectra", "Fabia",  "Superb",
    "Lanos", "Matiz",   "Tico",   "Ibiza",         "Leon",       "Toledo", "Kangoo", "Berlingo",
    "Xsara", "Picasso", "Zafira", "Mégane Scénic", "D'Artagnan", "Bolek",  "Lolek",  "Ćma",
};

const char* const kEngines[] = {
    "1.0",      "1.2 16V", "1.4 TSI", "1.6 HDi", "1.8 T",    "1.9 TDI",
    "2.0 TFSI", "2.5 V6",  "3.0 d",   "1.3 JTD", "2.2 CRDi", "elektryczny",
};

const char* const kBodies[] = {
    "sedan",  "kombi",         "hatchback", "kabriolet", "coupé",
    "furgon", "półciężarówka", "'Sport'",   "van",       "pick-up",
};

const char* const kFuels[] = {"B", "ON", "LPG", "B+LPG", "E"};

constexpr int kModelsCount = sizeof kModels / sizeof *kModels;
constexpr int kEnginesCount = sizeof kEngines / sizeof *kEngines;
constexpr int kBodiesCount = sizeof kBodies / sizeof *kBodies;

// "MM.YY" of a month of 1960-2019.
std::string ShortDate(int year, int month) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d", month, year % 100);
    return buffer;
}

// "from-to"; an end past 2019 (which two digits cannot hold) leaves the
// range open. Some ranges are written with blanks around the dash.
std::string Range(Random& random, int fromYear, int fromMonth, int years) {
    std::string range = ShortDate(fromYear, fromMonth);
    const bool blanks = random.below(8) == 0;
    range += blanks ? " - " : "-";
    const int toYear = fromYear + years;
    if (toYear <= 2019)
        range += ShortDate(toYear, 1 + random.below(12));
    return range;
}

} // namespace

// Makes in blocks, then models, then versions; every 200th line repeats the
// line before it, as vendor files now and then do. About 7.5 models per 100
// lines over (at most) 40 makes.
CatalogueShape WriteDemoCatalogue(const std::string& path, int lineCount) {
    CatalogueShape shape;
    shape.lines = lineCount;
    shape.versionLines = lineCount - lineCount / 200;
    shape.models = std::max(1, static_cast<int>(static_cast<long long>(lineCount) * 3 / 40));
    shape.models = std::min(shape.models, std::max(1, shape.versionLines));
    shape.makes = std::min(40, shape.models);

    Random random;
    // Uneven shares: each model and make gets a weight of 1 to 3.
    std::vector<int> modelWeight(static_cast<std::size_t>(shape.models));
    long long modelWeights = 0;
    for (int& w : modelWeight)
        modelWeights += (w = 1 + random.below(3));
    std::vector<int> makeWeight(static_cast<std::size_t>(shape.makes));
    long long makeWeights = 0;
    for (int& w : makeWeight)
        makeWeights += (w = 1 + random.below(3));

    std::ofstream out(platform::SystemPath(path), std::ios::binary | std::ios::trunc);
    if (!out)
        throw platform::EFileError("Cannot create file " + path);
    int written = 0;
    auto writeLine = [&](const std::string& line) {
        out << line;
        ++written;
        if (written % 200 == 199 && written < lineCount) {
            out << line;
            ++written;
        }
    };

    long long versionsBefore = 0, modelWeightBefore = 0, makeWeightBefore = 0;
    int model = 0;
    for (int make = 0; make < shape.makes; ++make) {
        makeWeightBefore += makeWeight[static_cast<std::size_t>(make)];
        const long long modelsUpTo =
            make + 1 == shape.makes ? shape.models : shape.models * makeWeightBefore / makeWeights;
        const std::string makeName = Pl(kMakes[make]);
        for (int k = 0; model < modelsUpTo; ++model, ++k) {
            modelWeightBefore += modelWeight[static_cast<std::size_t>(model)];
            const long long versionsUpTo =
                model + 1 == shape.models ? shape.versionLines
                                          : shape.versionLines * modelWeightBefore / modelWeights;
            std::string modelName = kModels[(k + make * 7) % kModelsCount];
            if (k >= kModelsCount)
                modelName.append(" ").append(std::to_string(k / kModelsCount + 1));
            modelName = Pl(modelName);
            const int modelYear = 1960 + random.below(55);
            const int modelYears = 3 + random.below(12);
            const std::string modelRange =
                Range(random, modelYear, 1 + random.below(12), modelYears);
            for (int v = 0; versionsBefore < versionsUpTo; ++versionsBefore, ++v) {
                const int slot = (v + model * 5) % (kEnginesCount * kBodiesCount);
                std::string versionName = std::string(kEngines[slot % kEnginesCount]) + " " +
                                          kBodies[slot / kEnginesCount];
                if (v >= kEnginesCount * kBodiesCount)
                    versionName.append(" seria ").append(
                        std::to_string(v / (kEnginesCount * kBodiesCount)));
                const int versionYear = modelYear + random.below(std::max(1, modelYears - 1));
                const std::string versionRange =
                    Range(random, versionYear, 1 + random.below(12), 1 + random.below(8));
                const bool electric = slot % kEnginesCount == kEnginesCount - 1;
                const int kw = 40 + random.below(200);
                std::string power;
                switch (random.below(20)) {
                case 0:
                    break; // no power given
                case 1:
                    power = std::to_string(kw); // kW only
                    break;
                default:
                    power = std::to_string((kw * 136 + 50) / 100) + "/" + std::to_string(kw);
                }
                const std::string capacity =
                    electric ? "" : std::to_string(998 + random.below(4000));
                const char* fuel = electric ? "E" : kFuels[random.below(4)];
                writeLine(makeName + ";" + modelName + ";" + modelRange + ";" + Pl(versionName) +
                          ";" + versionRange + ";" + power + ";" + fuel + ";" + capacity + ";\r\n");
            }
        }
    }
    out.close();
    if (!out)
        throw platform::EFileError("Cannot write file " + path);
    if (written != lineCount)
        throw std::logic_error("catalogue has " + std::to_string(written) + " lines, not " +
                               std::to_string(lineCount));
    return shape;
}

} // namespace app
