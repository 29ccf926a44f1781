// mmw-demo-db <database-dir> <alias-file>
// Creates a demo workshop database in <database-dir> unless one is there, and
// (re)writes the engine alias ZIRKONAL_KALVOMER_3 in <alias-file> to point at
// it. Point DBENGINE_CONFIG at the alias file to run mmw on it.

#include "db/DemoDatabase.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <database-dir> <alias-file>\n", argv[0]);
        return 2;
    }
    try {
        // The alias must work from any working directory.
        // Arguments and output are the system's text, paths inside the
        // program its own.
        const std::string directory =
            platform::ProgramPath(std::filesystem::absolute(argv[1]).lexically_normal().string());
        const std::string aliasFile = platform::ProgramPath(argv[2]);
        const std::string tablesFile =
            platform::SystemPath(db::DemoDatabase::TablesFile(directory));
        if (db::DemoDatabase::Exists(directory)) {
            std::printf("Database %s exists; kept as it is.\n", tablesFile.c_str());
        } else {
            db::DemoDatabase::Create(directory);
            std::printf("Created %s.\n", tablesFile.c_str());
        }
        db::DemoDatabase::WriteAliasFile(aliasFile, directory);
        std::printf("Alias %s written to %s.\n", db::DemoDatabase::kAliasName,
                    platform::SystemPath(aliasFile).c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mmw-demo-db: %s\n", platform::Win1250ToUtf8(e.what()).c_str());
        return 1;
    }
}
