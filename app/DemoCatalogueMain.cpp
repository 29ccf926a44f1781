// mmw-demo-catalogue <file> [lines]
// Writes a synthetic vehicle catalogue of the given number of lines (default
// 10000) in the vendor's format, for the demo's update server.

#include "app/DemoCatalogue.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <file> [lines]\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long lines = argc == 3 ? std::strtol(argv[2], &end, 10) : 10000;
    if ((argc == 3 && *end != '\0') || lines < 0 || lines > 10'000'000) {
        std::fprintf(stderr, "mmw-demo-catalogue: not a line count: %s\n", argv[2]);
        return 2;
    }
    try {
        const app::CatalogueShape shape = app::WriteDemoCatalogue(argv[1], static_cast<int>(lines));
        std::printf("Wrote %s: %d lines, %d makes, %d models.\n", argv[1], shape.lines, shape.makes,
                    shape.models);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mmw-demo-catalogue: %s\n", e.what());
        return 1;
    }
}
