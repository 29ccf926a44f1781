// mmw-demo-db <database-dir> <alias-file>
// mmw-demo-db --server <conninfo> <alias-file>
// Creates a demo workshop database in <database-dir> unless one is there, and
// (re)writes the engine alias ZIRKONAL_KALVOMER_3 in <alias-file> to point at
// it. With --server, the tables are created in the PostgreSQL database that
// the libpq connection string <conninfo> names (it must exist), unless any
// of them is there already, and the alias names that server. Point
// DBENGINE_CONFIG at the alias file to run mmw on it.

#include "db/DemoDatabase.h"
#include "db/PostgresConnection.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    const bool server = argc == 4 && std::strcmp(argv[1], "--server") == 0;
    if (argc != 3 && !server) {
        std::fprintf(stderr,
                     "usage: %s <database-dir> <alias-file>\n"
                     "       %s --server <conninfo> <alias-file>\n",
                     argv[0], argv[0]);
        return 2;
    }
    try {
        if (server) {
            const std::string conninfo = argv[2];
            const std::string aliasFile = platform::ProgramPath(argv[3]);
            const std::string shown = platform::Win1250ToUtf8(
                db::PostgresConnection::MaskedConninfo(platform::Utf8ToWin1250(conninfo)));
            if (db::DemoDatabase::CreateOnServer(conninfo))
                std::printf("Created the tables in %s.\n", shown.c_str());
            else
                std::printf("The workshop tables exist in %s; kept as they are.\n", shown.c_str());
            db::DemoDatabase::WriteServerAliasFile(aliasFile, platform::ProgramPath(conninfo));
            std::printf("Alias %s written to %s.\n", db::DemoDatabase::kAliasName,
                        platform::SystemPath(aliasFile).c_str());
            return 0;
        }
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
