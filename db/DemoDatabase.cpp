#include "db/DemoDatabase.h"

#include "db/EDBEngineError.h"
#include "db/EngineConfig.h"
#include "db/PostgresConnection.h"
#include "db/Schema.h"
#include "db/SqliteConnection.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace db {
namespace {

struct StaffMember {
    const char* id;
    const char* password;
    const char* name; // UTF-8, as the file stores it
    const char* address;
    const char* phone;
    const char* email;
    int rights;
    const char* position;
    int enciphered;
};

// AD's HASLO is the password 1234 enciphered with the login's fixed key.
constexpr StaffMember kStaff[] = {
    {"AD", "efhbikab", "Adam Dąbrowski", "ul. Łąkowa 5, 90-001 Łódź", "42 631 22 10",
     "adam.dabrowski@warsztat.pl", 1, "Kierownik serwisu", 1},
    {"AP", "ADMIN", "Agnieszka Półtorak", "ul. Źródlana 12, 31-444 Kraków", "12 411 05 07",
     "agnieszka.poltorak@warsztat.pl", 1, "Administrator", 0},
    {"PR", "PRAC", "Przemysław Żółkiewski", "ul. Świętokrzyska 3, 25-001 Kielce", "41 344 90 12",
     "p.zolkiewski@warsztat.pl", 2, "Mechanik", 0},
};

// Makes a directory and its missing parents.
void MakePath(const std::string& directory) {
    for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string level = directory.substr(0, slash);
        if (!level.empty() && !platform::DirectoryExists(level) && !platform::CreateDir(level) &&
            !platform::DirectoryExists(level))
            throw platform::EFileError("Cannot create directory " + level + ": " +
                                       std::strerror(errno));
        if (slash == std::string::npos)
            break;
    }
}

void Check(sqlite3* database, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw EDBEngineError(platform::Utf8ToWin1250(sqlite3_errmsg(database)), rc);
}

void Fill(sqlite3* database) {
    Check(database, sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr));
    Check(database, sqlite3_exec(database, SchemaSql(), nullptr, nullptr, nullptr));
    sqlite3_stmt* raw = nullptr;
    Check(database,
          sqlite3_prepare_v2(database,
                             "insert into PERSONEL (IDENTYFIKATOR, HASLO, NAZWA, ADRES, TELEFON1, "
                             "TELEFON2, EMAIL, PROWIZJA_MATERIAL, PROWIZJA_USLUGA, UPRAWNIENIA, "
                             "STANOWISKO, KODOWANIE, NOWE_UPRAWNIENIA, BLOKADA_INTERFEJSU, "
                             "TYLKO_MENU_WYBRANE) values (?1, ?2, ?3, ?4, ?5, NULL, ?6, 0, 0, ?7, "
                             "?8, ?9, 0, 0, 0)",
                             -1, &raw, nullptr));
    StatementHandle insert(raw);
    for (const StaffMember& m : kStaff) {
        sqlite3_reset(insert.get());
        int k = 1;
        for (const char* text : {m.id, m.password, m.name, m.address, m.phone, m.email})
            sqlite3_bind_text(insert.get(), k++, text, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert.get(), 7, m.rights);
        sqlite3_bind_text(insert.get(), 8, m.position, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert.get(), 9, m.enciphered);
        Check(database, sqlite3_step(insert.get()));
    }
    Check(database, sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr));
}

} // namespace

std::string DemoDatabase::TablesFile(const std::string& directory) {
    return SqliteConnection::TablesFile(directory);
}

bool DemoDatabase::Exists(const std::string& directory) {
    return platform::FileExists(TablesFile(directory));
}

void DemoDatabase::Create(const std::string& directory) {
    MakePath(directory);
    const std::string path = TablesFile(directory);
    // Claiming the name with O_EXCL makes "refuse an existing database"
    // hold even against another process creating it at the same moment.
    const int fd = platform::FileOpen(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            throw platform::Exception("The database " + path + " exists already; it is kept");
        throw platform::EFileError("Cannot create file " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
    try {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(platform::SystemPath(path).c_str(), &raw,
                                       SQLITE_OPEN_READWRITE, nullptr);
        SqliteHandle database(raw);
        if (!database)
            throw EDBEngineError(sqlite3_errstr(rc), rc);
        Check(database.get(), rc);
        Check(database.get(),
              sqlite3_exec(database.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr));
        Fill(database.get());
    } catch (...) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            platform::DeleteFile(path + suffix);
        throw;
    }
}

void DemoDatabase::WriteAliasFile(const std::string& aliasFile, const std::string& directory) {
    WriteAlias(aliasFile, "PATH=" + directory + "\n");
}

void DemoDatabase::WriteServerAliasFile(const std::string& aliasFile, const std::string& conninfo) {
    WriteAlias(aliasFile, "DRIVER=POSTGRESQL\nCONNINFO=" + conninfo + "\n");
}

bool DemoDatabase::CreateOnServer(const std::string& conninfo) {
    // Through the driver's own connection, so a failure to connect reads
    // as the program's does.
    const auto connection = PostgresConnection::Open(platform::Utf8ToWin1250(conninfo));
    PgConnHandle raw(PQconnectdb(conninfo.c_str()));
    if (PQstatus(raw.get()) != CONNECTION_OK)
        throw EDBEngineError("Cannot connect to " + connection->Describe() + ": " +
                             PQerrorMessage(raw.get()));
    auto run = [&](const char* sql, int count = 0, const char* const* values = nullptr) {
        PgResultHandle result(
            PQexecParams(raw.get(), sql, count, nullptr, values, nullptr, nullptr, 0));
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const char* message = PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY);
            throw EDBEngineError(
                platform::Utf8ToWin1250(message ? message : PQerrorMessage(raw.get())));
        }
        return result;
    };
    run("SET client_encoding = 'UTF8'");
    run("BEGIN");
    const PgResultHandle existing =
        run("select count(*) from unnest(array['personel', 'marki', 'modele', 'wersje', "
            "'upgrade']) t where pg_catalog.to_regclass(t) is not null");
    if (std::string(PQgetvalue(existing.get(), 0, 0)) != "0") {
        run("ROLLBACK");
        return false;
    }
    // Plain CREATE TABLE: one made meanwhile by someone else fails the
    // transaction, and nothing of it stays.
    PgResultHandle schema(PQexec(raw.get(), PostgresSchemaSql()));
    if (PQresultStatus(schema.get()) != PGRES_COMMAND_OK)
        throw EDBEngineError(platform::Utf8ToWin1250(PQerrorMessage(raw.get())));
    for (const StaffMember& m : kStaff) {
        const std::string rights = std::to_string(m.rights);
        const std::string enciphered = std::to_string(m.enciphered);
        const char* values[] = {m.id,    m.password,     m.name,     m.address,         m.phone,
                                m.email, rights.c_str(), m.position, enciphered.c_str()};
        run("insert into PERSONEL (IDENTYFIKATOR, HASLO, NAZWA, ADRES, TELEFON1, TELEFON2, EMAIL, "
            "PROWIZJA_MATERIAL, PROWIZJA_USLUGA, UPRAWNIENIA, STANOWISKO, KODOWANIE, "
            "NOWE_UPRAWNIENIA, BLOKADA_INTERFEJSU, TYLKO_MENU_WYBRANE) values ($1, $2, $3, $4, $5, "
            "NULL, $6, 0, 0, $7, $8, $9, 0, 0, 0)",
            9, values);
    }
    run("COMMIT");
    return true;
}

void DemoDatabase::WriteAlias(const std::string& aliasFile, const std::string& parameterLines) {
    std::string kept;
    if (platform::FileExists(aliasFile)) {
        const std::string old = platform::ReadWholeFile(aliasFile);
        bool skipping = false;
        std::size_t start = 0;
        while (start < old.size()) {
            auto end = old.find('\n', start);
            end = end == std::string::npos ? old.size() : end + 1;
            std::string line = old.substr(start, end - start);
            start = end;
            std::string_view bare(line);
            while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
                bare.remove_suffix(1);
            // Sections as the engine reads them: ours goes, the rest stay.
            if (const auto section = EngineConfig::SectionName(bare))
                skipping = platform::AnsiSameText(*section, kAliasName);
            if (!skipping) {
                if (line.back() != '\n')
                    line += '\n';
                kept += line;
            }
        }
    } else {
        kept = "; Database aliases of the workshop database engine: one section per alias,\n"
               "; its parameters as name=value lines.\n";
        const std::string parent = platform::ExtractFileDir(aliasFile);
        if (!parent.empty())
            MakePath(parent);
    }
    // One blank line between the kept aliases and ours.
    if (!kept.empty() && !kept.ends_with("\n\n"))
        kept += '\n';
    // The file is the system's text (UTF-8), the lines the program's own.
    platform::WriteWholeFile(aliasFile, kept + "[" + kAliasName + "]\n" +
                                            platform::SystemPath(parameterLines));
}

} // namespace db
