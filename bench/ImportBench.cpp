// The catalogue import against a set-based merge of the same lines.
//
//   import_bench [lines]      (default 100000)
//
// Writes a synthetic catalogue into a fresh temporary directory, creates a
// demo database there and sets the engine up as the update run does. Then,
// in one process:
//   (a) the import into the fresh database,
//   (b) the same file imported again: everything is found, nothing inserted,
//   (c) a reference merge of the same parsed lines into a second fresh
//       database: one transaction, the lines in a temporary table, one
//       INSERT ... SELECT per table,
//   (d) the floor: the import's own statements, prepared once and run
//       straight on SQLite into a third fresh database,
//   (a0) the import of (a) with the log settings the engine had before it
//       kept its log small, into a fourth, for the cost of that.
// Then, on a throwaway PostgreSQL server with its default settings (when
// built with the test support, which starts it):
//   (e) the import through the engine into a fresh server database, over
//       the server's Unix socket, and again over TCP loopback,
//   (f) the naive floor: the same statement texts sent one by one with
//       PQexec, each committed on its own, over the same two ways.
// Prints the statements run per line and per row, the times and their
// ratios, the largest size of the log during (a) and (a0), and the peak
// memory against the catalogue's size. Exits non-zero when (a) leaves other
// tables than (c) or (d), when (b) inserts anything, or when the statement
// counts are not the import's (three for a new row, one for a found one,
// none for a line repeating the previous names).

#include "app/CatalogueFile.h"
#include "app/CatalogueImport.h"
#include "app/CatalogueLine.h"
#include "app/DemoCatalogue.h"
#include "db/DemoDatabase.h"
#include "db/SqliteConnection.h"
#include "db/StatementTrace.h"
#include "db/TDatabase.h"
#include "db/TQuery.h"
#include "db/TSession.h"
#include "db/TTable.h"
#include "db/WorkshopTables.h"
#include "platform/Application.h"
#include "platform/Win1250.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

#ifdef MMW_BENCH_POSTGRES
#include "tests/support/PostgresCluster.h"

#include <libpq-fe.h>

#include <memory>
#endif

namespace {

using platform::Pl;
using Clock = std::chrono::steady_clock;

constexpr double kMiB = 1024.0 * 1024.0;

// ---------------------------------------------------------------------------
// Plain SQLite, for the reference merge and the checks.

struct Sqlite {
    db::SqliteHandle handle;

    explicit Sqlite(const std::string& file) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        handle.reset(raw);
        if (rc != SQLITE_OK)
            throw std::runtime_error("Cannot open " + file + ": " + sqlite3_errstr(rc));
    }
    void exec(const std::string& sql) const {
        char* message = nullptr;
        if (sqlite3_exec(handle.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text + " in: " + sql);
        }
    }
    long long scalar(const std::string& sql) const {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(handle.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(handle.get())) + " in: " + sql);
        db::StatementHandle statement(raw);
        if (sqlite3_step(statement.get()) != SQLITE_ROW)
            throw std::runtime_error("no row from: " + sql);
        return sqlite3_column_int64(statement.get(), 0);
    }
};

// The lines merged by plain SQL in one transaction: makes, models and
// versions are found by kind 0 and upper-cased name under their parent, and
// whatever is missing gets a key below the table's smallest one of kind 0,
// in the order of the lines that name it first, with the data of that line;
// so the tables end as the import leaves them.
void ReferenceMerge(const std::string& catalogue, const std::string& tablesFile) {
    Sqlite database(tablesFile);
    sqlite3* handle = database.handle.get();
    database.exec("PRAGMA journal_mode=WAL");
    database.exec("PRAGMA synchronous=NORMAL");
    db::SqliteConnection::RegisterUpper(handle);

    std::vector<std::string> lines = app::ReadCatalogue(catalogue);
    database.exec("BEGIN");
    database.exec("CREATE TEMP TABLE L (N INTEGER PRIMARY KEY, MAKE TEXT, MODEL TEXT, "
                  "MODEL_OD TEXT, MODEL_DO TEXT, VER TEXT, VER_OD TEXT, VER_DO TEXT, "
                  "TECH INTEGER, TAX INTEGER, KW INTEGER, KM INTEGER)");
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(handle,
                               "INSERT INTO L VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                               "?11, ?12)",
                               -1, &raw, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(handle));
        db::StatementHandle insert(raw);
        auto text = [&](int index, const std::string& win1250) {
            const std::string utf8 = platform::Win1250ToUtf8(win1250);
            sqlite3_bind_text64(insert.get(), index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
        };
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const app::CatalogueLine line = app::ParseCatalogueLine(lines[i]);
            if (line.MakeName.empty())
                continue; // the import skips them too
            sqlite3_reset(insert.get());
            sqlite3_bind_int64(insert.get(), 1, static_cast<sqlite3_int64>(i));
            text(2, platform::AnsiUpperCase(line.MakeName));
            text(3, platform::AnsiUpperCase(line.ModelName));
            text(4, line.ModelFrom);
            text(5, line.ModelTo);
            text(6, platform::AnsiUpperCase(line.VersionName));
            text(7, line.VersionFrom);
            text(8, line.VersionTo);
            const int capacity = app::CatalogueNumber(line.Capacity);
            sqlite3_bind_int(insert.get(), 9, capacity);
            sqlite3_bind_int(insert.get(), 10, capacity);
            sqlite3_bind_int(insert.get(), 11, app::CatalogueNumber(line.PowerKW));
            sqlite3_bind_int(insert.get(), 12, app::CatalogueNumber(line.PowerKM));
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                throw std::runtime_error(sqlite3_errmsg(handle));
        }
    }
    lines.clear();
    lines.shrink_to_fit();

    // Each level: the distinct names under their parent's key with the line
    // that names them first, the existing key where there is one, new keys
    // below the smallest for the rest, then the new rows.
    database.exec(R"(
CREATE TEMP TABLE KMK (MAKE TEXT PRIMARY KEY, F INTEGER, MARKA INTEGER, NEW INTEGER);
INSERT INTO KMK (MAKE, F) SELECT MAKE, min(N) FROM L GROUP BY MAKE;
UPDATE KMK SET MARKA = (SELECT m.MARKA FROM MARKI m
                        WHERE m.RDZPOJ = 0 AND upper(m.NAZWA) = KMK.MAKE LIMIT 1);
UPDATE KMK SET NEW = 1,
       MARKA = (SELECT coalesce(min(MARKA), 0) FROM MARKI WHERE RDZPOJ = 0) - r
  FROM (SELECT MAKE AS M, row_number() OVER (ORDER BY F) AS r FROM KMK WHERE MARKA IS NULL)
 WHERE KMK.MAKE = M;
INSERT INTO MARKI (RDZPOJ, MARKA, NAZWA) SELECT 0, MARKA, MAKE FROM KMK WHERE NEW = 1 ORDER BY F;

CREATE TEMP TABLE KMO (MARKA INTEGER, NAME TEXT, F INTEGER, MODEL INTEGER, NEW INTEGER,
                       PRIMARY KEY (MARKA, NAME));
INSERT INTO KMO (MARKA, NAME, F)
  SELECT k.MARKA, L.MODEL, min(L.N) FROM L JOIN KMK k ON k.MAKE = L.MAKE GROUP BY k.MARKA, L.MODEL;
UPDATE KMO SET MODEL = (SELECT m.MODEL FROM MODELE m WHERE m.RDZPOJ = 0 AND m.MARKA = KMO.MARKA
                        AND upper(m.NAZWA) = KMO.NAME LIMIT 1);
UPDATE KMO SET NEW = 1,
       MODEL = (SELECT coalesce(min(MODEL), 0) FROM MODELE WHERE RDZPOJ = 0) - r
  FROM (SELECT MARKA AS K, NAME AS M, row_number() OVER (ORDER BY F) AS r
          FROM KMO WHERE MODEL IS NULL)
 WHERE KMO.MARKA = K AND KMO.NAME = M;
INSERT INTO MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO)
  SELECT 0, k.MARKA, k.MODEL, k.NAME, L.MODEL_OD, L.MODEL_DO
    FROM KMO k JOIN L ON L.N = k.F WHERE k.NEW = 1 ORDER BY k.F;

CREATE TEMP TABLE KVE (MODEL INTEGER, NAME TEXT, F INTEGER, WERSJA INTEGER, NEW INTEGER,
                       PRIMARY KEY (MODEL, NAME));
INSERT INTO KVE (MODEL, NAME, F)
  SELECT o.MODEL, L.VER, min(L.N) FROM L JOIN KMK k ON k.MAKE = L.MAKE
    JOIN KMO o ON o.MARKA = k.MARKA AND o.NAME = L.MODEL GROUP BY o.MODEL, L.VER;
UPDATE KVE SET WERSJA = (SELECT w.WERSJA FROM WERSJE w WHERE w.RDZPOJ = 0 AND w.MODEL = KVE.MODEL
                         AND upper(w.NAZWA) = KVE.NAME LIMIT 1);
UPDATE KVE SET NEW = 1,
       WERSJA = (SELECT coalesce(min(WERSJA), 0) FROM WERSJE WHERE RDZPOJ = 0) - r
  FROM (SELECT MODEL AS K, NAME AS M, row_number() OVER (ORDER BY F) AS r
          FROM KVE WHERE WERSJA IS NULL)
 WHERE KVE.MODEL = K AND KVE.NAME = M;
INSERT INTO WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, POJ_TAX, MOC_KW,
                    MOC_KM)
  SELECT 0, v.MODEL, v.WERSJA, v.NAME, L.VER_OD, L.VER_DO, L.TECH, L.TAX, L.KW, L.KM
    FROM KVE v JOIN L ON L.N = v.F WHERE v.NEW = 1 ORDER BY v.F;
)");
    database.exec("COMMIT");
}

// The import's own statements straight on SQLite: each prepared once with
// its values bound, every insert committed on its own as the engine commits
// it, and the same memory of the previous line's names. Nothing the engine
// does can be cheaper than this while it keeps the import's statements and
// their one-at-a-time effect: a floor, not a target.
class DirectStatement {
public:
    DirectStatement(sqlite3* database, const char* sql) : FDatabase(database) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(database, sql, -1, &raw, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(database)) + " in: " + sql);
        FStatement.reset(raw);
    }
    DirectStatement& bind(int index, long long value) {
        sqlite3_bind_int64(FStatement.get(), index, value);
        return *this;
    }
    DirectStatement& bind(int index, const std::string& win1250) {
        const std::string utf8 = platform::Win1250ToUtf8(win1250);
        sqlite3_bind_text64(FStatement.get(), index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
        return *this;
    }
    // Runs it to its end; the first column of its first row, if it has one.
    std::optional<long long> run() {
        std::optional<long long> first;
        for (;;) {
            const int rc = sqlite3_step(FStatement.get());
            if (rc == SQLITE_ROW) {
                if (!first)
                    first = sqlite3_column_int64(FStatement.get(), 0);
                continue;
            }
            if (rc != SQLITE_DONE)
                throw std::runtime_error(sqlite3_errmsg(FDatabase));
            break;
        }
        sqlite3_reset(FStatement.get());
        sqlite3_clear_bindings(FStatement.get());
        return first;
    }

private:
    sqlite3* FDatabase;
    db::StatementHandle FStatement;
};

void DirectMerge(const std::string& catalogue, const std::string& tablesFile) {
    Sqlite database(tablesFile);
    sqlite3* handle = database.handle.get();
    database.exec("PRAGMA journal_mode=WAL");
    database.exec("PRAGMA synchronous=NORMAL");
    database.exec("PRAGMA wal_autocheckpoint=10000");
    db::SqliteConnection::RegisterUpper(handle);
    DirectStatement makeFind(handle,
                             "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = ?1");
    DirectStatement makeMin(handle, "select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0");
    DirectStatement makeInsert(handle,
                               "insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, ?1, ?2)");
    DirectStatement modelFind(handle, "select MODEL from MODELE where RDZPOJ = 0 and MARKA = ?1 "
                                      "and upper(NAZWA) = ?2");
    DirectStatement modelMin(handle, "select min(MODEL) MIN_MODEL from MODELE where RDZPOJ = 0");
    DirectStatement modelInsert(handle, "insert into MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, "
                                        "PROD_DO) VALUES (0, ?1, ?2, ?3, ?4, ?5)");
    DirectStatement versionFind(handle, "select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = ?1 "
                                        "and upper(NAZWA) = ?2");
    DirectStatement versionMin(handle,
                               "select min(WERSJA) MIN_WERSJA from WERSJE where RDZPOJ = 0");
    DirectStatement versionInsert(handle,
                                  "insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, "
                                  "PROD_DO, POJ_TECH, POJ_TAX, MOC_KW, MOC_KM) VALUES (0, ?1, ?2, "
                                  "?3, ?4, ?5, ?6, ?7, ?8, ?9)");

    std::string makeName, modelName, versionName;
    long long makeKey = 0, modelKey = 0;
    for (const std::string& text : app::ReadCatalogue(catalogue)) {
        const app::CatalogueLine line = app::ParseCatalogueLine(text);
        if (line.MakeName.empty())
            continue;
        if (line.MakeName != makeName) {
            makeName = line.MakeName;
            modelName.clear();
            versionName.clear();
            const std::string n = platform::AnsiUpperCase(line.MakeName);
            if (auto found = makeFind.bind(1, n).run()) {
                makeKey = *found;
            } else {
                makeKey = makeMin.run().value_or(0) - 1;
                makeInsert.bind(1, makeKey).bind(2, n).run();
            }
        }
        if (line.ModelName != modelName) {
            modelName = line.ModelName;
            versionName.clear();
            const std::string n = platform::AnsiUpperCase(line.ModelName);
            if (auto found = modelFind.bind(1, makeKey).bind(2, n).run()) {
                modelKey = *found;
            } else {
                modelKey = modelMin.run().value_or(0) - 1;
                modelInsert.bind(1, makeKey)
                    .bind(2, modelKey)
                    .bind(3, n)
                    .bind(4, line.ModelFrom)
                    .bind(5, line.ModelTo)
                    .run();
            }
        }
        if (line.VersionName != versionName) {
            versionName = line.VersionName;
            const std::string n = platform::AnsiUpperCase(line.VersionName);
            if (!versionFind.bind(1, modelKey).bind(2, n).run()) {
                const long long key = versionMin.run().value_or(0) - 1;
                const long long capacity = app::CatalogueNumber(line.Capacity);
                versionInsert.bind(1, modelKey)
                    .bind(2, key)
                    .bind(3, n)
                    .bind(4, line.VersionFrom)
                    .bind(5, line.VersionTo)
                    .bind(6, capacity)
                    .bind(7, capacity)
                    .bind(8, app::CatalogueNumber(line.PowerKW))
                    .bind(9, app::CatalogueNumber(line.PowerKM))
                    .run();
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Measuring.

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The processor time (user and system) of the process so far, in seconds.
// On a shared machine it moves much less with other load than the wall clock.
double ProcessorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall-clock and processor time of one phase.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
public:
    Stopwatch() : FWall(Clock::now()), FCpu(ProcessorSeconds()) {}
    Timing elapsed() const { return {Seconds(FWall, Clock::now()), ProcessorSeconds() - FCpu}; }

private:
    Clock::time_point FWall;
    double FCpu;
};

// The peak resident size of the process in bytes, 0 when unknown.
long long PeakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6) * 1024;
    return 0;
}

// Starts a new peak from the present size; false where the kernel does not
// allow it (the peak then covers the whole process so far).
bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// The name steps the import's memory lets run over the file: a step runs
// when its name differs from the last one it ran for; a new make clears the
// model and version, a new model the version.
long long NameSteps(const std::string& catalogue) {
    std::string make, model, version;
    long long steps = 0;
    for (const std::string& text : app::ReadCatalogue(catalogue)) {
        const app::CatalogueLine line = app::ParseCatalogueLine(text);
        if (line.MakeName.empty())
            continue;
        if (line.MakeName != make) {
            make = line.MakeName;
            model.clear();
            version.clear();
            ++steps;
        }
        if (line.ModelName != model) {
            model = line.ModelName;
            version.clear();
            ++steps;
        }
        if (line.VersionName != version) {
            version = line.VersionName;
            ++steps;
        }
    }
    return steps;
}

struct Tables {
    long long makes = 0, models = 0, versions = 0;
    long long total() const { return makes + models + versions; }
    bool operator==(const Tables&) const = default;
};

Tables Count(const Sqlite& database) {
    return {database.scalar("select count(*) from MARKI"),
            database.scalar("select count(*) from MODELE"),
            database.scalar("select count(*) from WERSJE")};
}

struct Statements {
    long long all = 0;
    long long inserts = 0;
};

// The size of a file in bytes, 0 when it is missing.
long long FileBytes(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<long long>(size);
}

// One engine import through the work query, counting its statements. With
// a log file named, its largest size is sampled every 64 statements.
bool Import(app::TCatalogueImport& import, const std::string& catalogue, Statements& counted,
            Timing& timing, const std::string& logFile = {}, long long* logPeak = nullptr) {
    counted = {};
    const db::StatementObserver previous =
        db::SetStatementObserver([&counted, &logFile, logPeak](const std::string& sql) {
            ++counted.all;
            counted.inserts += sql.rfind("insert", 0) == 0;
            if (logPeak && counted.all % 64 == 0)
                *logPeak = std::max(*logPeak, FileBytes(logFile));
        });
    // A failure is reported in a box: answered at once, and shown below.
    platform::PushMessageBoxAnswer(platform::IDOK);
    const Stopwatch watch;
    const bool completed = import.Run(catalogue);
    timing = watch.elapsed();
    db::SetStatementObserver(previous);
    platform::ClearMessageBoxAnswers();
    for (const auto& call : platform::TakeMessageBoxCalls())
        std::fprintf(stderr, "import failed: %s\n", platform::Win1250ToUtf8(call.text).c_str());
    return completed;
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

// What the embedded import measured, for the server's figures after it.
struct EmbeddedFigures {
    std::string catalogue;
    std::string tablesFile;
    Timing import;
    Statements statements;
    long long fileSize = 0;
};
EmbeddedFigures gEmbedded;

int Bench(int lineCount, const std::filesystem::path& root) {
    const std::string catalogue = (root / "mmw.csv").string();
    const std::string importDir = (root / "import").string();
    const std::string referenceDir = (root / "reference").string();
    const std::string directDir = (root / "direct").string();
    const std::string legacyDir = (root / "legacy").string();
    const std::string aliasFile = (root / "aliases.ini").string();

    const app::CatalogueShape shape = app::WriteDemoCatalogue(catalogue, lineCount);
    const auto fileSize = static_cast<long long>(std::filesystem::file_size(catalogue));
    db::DemoDatabase::Create(importDir);
    db::DemoDatabase::Create(referenceDir);
    db::DemoDatabase::Create(directDir);
    db::DemoDatabase::WriteAliasFile(aliasFile, importDir);
    ::setenv("DBENGINE_CONFIG", aliasFile.c_str(), 1);
    const long long steps = NameSteps(catalogue);

    // The engine as the update run has it: the session and connection of
    // the main window, the staff table holding the connection open, and a
    // work query bound to the database's names.
    db::TSession session;
    session.setSessionName("Kalvomer");
    session.setKeepConnections(false);
    session.setPrivateDir(root.string());
    db::TDatabase database;
    database.setAliasName(db::DemoDatabase::kAliasName);
    database.setDatabaseName("KALVOMER");
    database.setSessionName("Kalvomer");
    database.setKeepConnection(false);
    database.setLoginPrompt(false);
    database.setTransIsolation(db::tiDirtyRead);
    db::TTable personel;
    personel.setTableName("Personel.DB");
    personel.setDatabaseName("KALVOMER");
    personel.setSessionName("Kalvomer");
    db::DeclarePersonelFields(personel);
    personel.Open();
    db::TQuery work;
    work.setDatabaseName(database.getDatabaseName());
    work.setSessionName(database.getSessionName());

    int failures = 0;
    auto fail = [&failures](const std::string& what) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    };

    const std::string importLog = db::DemoDatabase::TablesFile(importDir) + "-wal";
    const bool peakFromHere = ResetPeakResident();
    Statements first, second;
    Timing timeA, timeB;
    long long logPeakA = 0;
    {
        // Under the run lock, as the update run imports: its end tidies the
        // log.
        if (!database.TryLockRun())
            fail("the run lock of (a) is held");
        app::TCatalogueImport import(work, nullptr);
        if (!Import(import, catalogue, first, timeA, importLog, &logPeakA))
            fail("import (a) did not complete");
        database.ReleaseRunLock();
    }
    const long long logAfterA = FileBytes(importLog);
    const Sqlite importCheck(db::DemoDatabase::TablesFile(importDir));
    const Tables afterA = Count(importCheck);
    {
        app::TCatalogueImport import(work, nullptr);
        if (!Import(import, catalogue, second, timeB))
            fail("import (b) did not complete");
    }
    const long long peak = PeakResident();
    const Tables afterB = Count(importCheck);
    work.Close();
    personel.Close();

    // (a0) the import as it ran with the earlier log settings: copied back
    // every 10000 pages, never cut back. The same engine otherwise, into a
    // fourth fresh database.
    Statements legacyCounted;
    Timing timeLegacy;
    long long logPeakLegacy = 0;
    {
        database.Close();
        db::DemoDatabase::Create(legacyDir);
        db::DemoDatabase::WriteAliasFile(aliasFile, legacyDir);
        personel.Open();
        for (const char* pragma :
             {"PRAGMA wal_autocheckpoint=10000", "PRAGMA journal_size_limit=-1"}) {
            work.setSQL(pragma);
            work.ExecSQL();
        }
        if (!database.TryLockRun())
            fail("the run lock of (a0) is held");
        app::TCatalogueImport import(work, nullptr);
        if (!Import(import, catalogue, legacyCounted, timeLegacy,
                    db::DemoDatabase::TablesFile(legacyDir) + "-wal", &logPeakLegacy))
            fail("import (a0) did not complete");
        database.ReleaseRunLock();
        work.Close();
        personel.Close();
    }

    const Stopwatch watchC;
    ReferenceMerge(catalogue, db::DemoDatabase::TablesFile(referenceDir));
    const Timing timeC = watchC.elapsed();
    const Sqlite referenceCheck(db::DemoDatabase::TablesFile(referenceDir));
    const Tables reference = Count(referenceCheck);

    const Stopwatch watchD;
    DirectMerge(catalogue, db::DemoDatabase::TablesFile(directDir));
    const Timing timeD = watchD.elapsed();

    // Beyond the counts: the same rows, keys and data included.
    // The rows of the import that the other database lacks, over the three tables.
    auto differingFrom = [&](const std::string& directory) {
        importCheck.exec("ATTACH DATABASE '" + db::DemoDatabase::TablesFile(directory) +
                         "' AS OTHER");
        long long rows = 0;
        for (const char* table : {"MARKI", "MODELE", "WERSJE"})
            rows += importCheck.scalar(std::string("select count(*) from (select * from main.") +
                                       table + " except select * from OTHER." + table + ")");
        importCheck.exec("DETACH DATABASE OTHER");
        return rows;
    };
    const long long differing = differingFrom(referenceDir);
    const long long differingDirect = differingFrom(directDir);

    const long long newRows = afterA.total();
    const long long foundA = steps - newRows;
    std::printf("catalogue: %d lines (%d makes, %d models, %d version lines, %d repeated), "
                "%.2f MiB\n",
                shape.lines, shape.makes, shape.models, shape.versionLines,
                shape.lines - shape.versionLines, static_cast<double>(fileSize) / kMiB);
    std::printf("rows: MARKI %lld, MODELE %lld, WERSJE %lld (reference %lld, %lld, %lld)\n",
                afterA.makes, afterA.models, afterA.versions, reference.makes, reference.models,
                reference.versions);
    std::printf("(a) statements: %lld = %.3f per line; new rows %lld, found %lld; "
                "expected 3 x %lld + 1 x %lld = %lld; %.3f per new row\n",
                first.all, static_cast<double>(first.all) / lineCount, newRows, foundA, newRows,
                foundA, 3 * newRows + foundA,
                newRows ? static_cast<double>(first.all - foundA) / static_cast<double>(newRows)
                        : 0.0);
    std::printf("(b) statements: %lld = %.3f per line; new rows %lld, found %lld; "
                "expected 1 x %lld = %lld; inserts %lld\n",
                second.all, static_cast<double>(second.all) / lineCount,
                afterB.total() - afterA.total(), steps, steps, steps, second.inserts);
    std::printf("                              wall        processor\n");
    std::printf("(a) import, fresh database:   %8.3f s  %8.3f s\n", timeA.wall, timeA.cpu);
    std::printf("(b) import again, all found:  %8.3f s  %8.3f s\n", timeB.wall, timeB.cpu);
    std::printf("(c) set-based reference:      %8.3f s  %8.3f s\n", timeC.wall, timeC.cpu);
    std::printf("(d) floor: (a)'s statements prepared once, straight on SQLite:\n"
                "                              %8.3f s  %8.3f s\n",
                timeD.wall, timeD.cpu);
    std::printf("(a0) (a) with the earlier log settings:\n"
                "                              %8.3f s  %8.3f s\n",
                timeLegacy.wall, timeLegacy.cpu);
    std::printf("a/a0 = %.3f wall, %.3f processor (target <= 1.10: %s)\n",
                timeA.wall / timeLegacy.wall, timeA.cpu / timeLegacy.cpu,
                Verdict(timeA.wall / timeLegacy.wall <= 1.10));
    std::printf("log (WAL) during (a): largest %.2f MiB (target <= 8 MiB: %s); "
                "left after the run, connection open: %.2f MiB (target <= 1 MiB: %s)\n",
                static_cast<double>(logPeakA) / kMiB, Verdict(logPeakA <= 8 * 1024 * 1024),
                static_cast<double>(logAfterA) / kMiB, Verdict(logAfterA <= 1024 * 1024));
    std::printf("log (WAL) during (a0): largest %.2f MiB\n",
                static_cast<double>(logPeakLegacy) / kMiB);
    std::printf("a/c = %.2f wall, %.2f processor (target <= 4: %s)\n", timeA.wall / timeC.wall,
                timeA.cpu / timeC.cpu, Verdict(timeA.wall / timeC.wall <= 4));
    std::printf("b/c = %.2f wall, %.2f processor (target <= 2: %s)\n", timeB.wall / timeC.wall,
                timeB.cpu / timeC.cpu, Verdict(timeB.wall / timeC.wall <= 2));
    std::printf("a/d = %.2f wall, %.2f processor (the engine's cost over SQLite itself); "
                "d/c = %.2f wall\n",
                timeA.wall / timeD.wall, timeA.cpu / timeD.cpu, timeD.wall / timeC.wall);
    const long long target = 4 * fileSize + 32LL * 1024 * 1024;
    std::printf("peak memory of (a) and (b) (VmHWM%s): %.1f MiB; file %.2f MiB; "
                "target 4 x file + 32 MiB = %.1f MiB: %s\n",
                peakFromHere ? "" : ", whole process", static_cast<double>(peak) / kMiB,
                static_cast<double>(fileSize) / kMiB, static_cast<double>(target) / kMiB,
                Verdict(peak <= target));
    std::printf("peak memory of the whole run (VmHWM): %.1f MiB\n",
                static_cast<double>(PeakResident()) / kMiB);

    gEmbedded = {catalogue, db::DemoDatabase::TablesFile(importDir), timeA, first, fileSize};

    if (!(afterA == reference))
        fail("(a) and (c) left different row counts");
    if (differing != 0)
        fail("(a) and (c) differ in " + std::to_string(differing) + " rows");
    if (differingDirect != 0)
        fail("(a) and (d) differ in " + std::to_string(differingDirect) + " rows");
    if (!(afterB == afterA) || second.inserts != 0)
        fail("(b) inserted rows");
    if (first.all != 3 * newRows + foundA)
        fail("(a) ran " + std::to_string(first.all) +
             " statements, not 3 per new row and 1 "
             "per found one");
    if (second.all != steps)
        fail("(b) ran " + std::to_string(second.all) + " statements, not 1 per found row");
    return failures == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The import over a PostgreSQL server.
#ifdef MMW_BENCH_POSTGRES

struct PgCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct PgClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgHandle = std::unique_ptr<PGconn, PgCloser>;
using PgResult = std::unique_ptr<PGresult, PgClearer>;

PgHandle PgConnect(const std::string& conninfo) {
    PgHandle connection(PQconnectdb(conninfo.c_str()));
    if (PQstatus(connection.get()) != CONNECTION_OK)
        throw std::runtime_error(std::string("cannot connect: ") +
                                 PQerrorMessage(connection.get()));
    return connection;
}

PgResult PgRun(PGconn* connection, const std::string& sql) {
    PgResult result(PQexec(connection, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(PQerrorMessage(connection) + (" in: " + sql));
    return result;
}

// The first column of the first row of a select, if there is a row and it
// is not null.
std::optional<long long> PgFirst(PGconn* connection, const std::string& sql) {
    const PgResult result = PgRun(connection, sql);
    if (PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0))
        return std::nullopt;
    return std::atoll(PQgetvalue(result.get(), 0, 0));
}

// The naive floor: the import's statement texts, built as the import builds
// them, each sent on its own with PQexec and committed by the server as it
// runs, on the session's defaults. What a client that neither prepares nor
// pipelines would take.
void NaiveMerge(const std::string& catalogue, const std::string& conninfo, Statements& counted) {
    const PgHandle database = PgConnect(conninfo);
    PGconn* c = database.get();
    PgRun(c, "SET client_encoding = 'WIN1250'");
    counted = {};
    auto select = [&](const std::string& sql) {
        ++counted.all;
        return PgFirst(c, sql);
    };
    auto insert = [&](const std::string& sql) {
        ++counted.all;
        ++counted.inserts;
        PgRun(c, sql);
    };
    using app::TCatalogueImport;
    std::string makeName, modelName, versionName;
    long long makeKey = 0, modelKey = 0;
    for (const std::string& text : app::ReadCatalogue(catalogue)) {
        const app::CatalogueLine line = app::ParseCatalogueLine(text);
        if (line.MakeName.empty())
            continue;
        if (line.MakeName != makeName) {
            makeName = line.MakeName;
            modelName.clear();
            versionName.clear();
            const std::string n = TCatalogueImport::NameLiteral(line.MakeName);
            if (auto found = select(
                    "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = '" + n + "'")) {
                makeKey = *found;
            } else {
                makeKey =
                    select("select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0").value_or(0) -
                    1;
                insert("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, " +
                       std::to_string(makeKey) + ", '" + n + "')");
            }
        }
        if (line.ModelName != modelName) {
            modelName = line.ModelName;
            versionName.clear();
            const std::string n = TCatalogueImport::NameLiteral(line.ModelName);
            if (auto found = select("select MODEL from MODELE where RDZPOJ = 0 and MARKA = " +
                                    std::to_string(makeKey) + " and upper(NAZWA) = '" + n + "'")) {
                modelKey = *found;
            } else {
                modelKey =
                    select("select min(MODEL) MIN_MODEL from MODELE where RDZPOJ = 0").value_or(0) -
                    1;
                insert("insert into MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO) VALUES "
                       "(0, " +
                       std::to_string(makeKey) + ", " + std::to_string(modelKey) + ",'" + n +
                       "','" + TCatalogueImport::TextLiteral(line.ModelFrom) + "','" +
                       TCatalogueImport::TextLiteral(line.ModelTo) + "')");
            }
        }
        if (line.VersionName != versionName) {
            versionName = line.VersionName;
            const std::string n = TCatalogueImport::NameLiteral(line.VersionName);
            if (!select("select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = " +
                        std::to_string(modelKey) + " and upper(NAZWA) = '" + n + "'")) {
                const long long key =
                    select("select min(WERSJA) MIN_WERSJA from WERSJE where RDZPOJ = 0")
                        .value_or(0) -
                    1;
                const std::string capacity = std::to_string(app::CatalogueNumber(line.Capacity));
                insert("insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, "
                       "POJ_TECH, POJ_TAX, MOC_KW, MOC_KM) VALUES (0, " +
                       std::to_string(modelKey) + ", " + std::to_string(key) + ",'" + n + "','" +
                       TCatalogueImport::TextLiteral(line.VersionFrom) + "','" +
                       TCatalogueImport::TextLiteral(line.VersionTo) + "'," + capacity + "," +
                       capacity + "," + std::to_string(app::CatalogueNumber(line.PowerKW)) + "," +
                       std::to_string(app::CatalogueNumber(line.PowerKM)) + ")");
            }
        }
    }
}

// Every row of the three tables in key order, each as one text: the same
// on the server and in the embedded file when the imports agree.
std::vector<std::string> ServerRows(const std::string& conninfo) {
    const PgHandle database = PgConnect(conninfo);
    PgRun(database.get(), "SET client_encoding = 'UTF8'");
    std::vector<std::string> rows;
    for (const char* sql :
         {"select RDZPOJ, MARKA, NAZWA from MARKI order by RDZPOJ, MARKA",
          "select RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO from MODELE order by RDZPOJ, MODEL",
          "select RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, POJ_TAX, MOC_KW, "
          "MOC_KM from WERSJE order by RDZPOJ, WERSJA"}) {
        const PgResult result = PgRun(database.get(), sql);
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            std::string row;
            for (int k = 0; k < PQnfields(result.get()); ++k)
                row += std::string(PQgetvalue(result.get(), r, k)) + '|';
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::vector<std::string> EmbeddedRows(const std::string& tablesFile) {
    const Sqlite database(tablesFile);
    std::vector<std::string> rows;
    for (const char* sql :
         {"select RDZPOJ, MARKA, NAZWA from MARKI order by RDZPOJ, MARKA",
          "select RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO from MODELE order by RDZPOJ, MODEL",
          "select RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, POJ_TAX, MOC_KW, "
          "MOC_KM from WERSJE order by RDZPOJ, WERSJA"}) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(database.handle.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(database.handle.get()));
        const db::StatementHandle statement(raw);
        while (sqlite3_step(statement.get()) == SQLITE_ROW) {
            std::string row;
            for (int k = 0; k < sqlite3_column_count(statement.get()); ++k) {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), k));
                row += std::string(text ? text : "") + '|';
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

// The wall time of one round trip to the server: a prepared "select 1",
// sent and answered, the least any statement whose result is waited for
// costs.
double RoundTrip(const std::string& conninfo) {
    const PgHandle database = PgConnect(conninfo);
    PGconn* c = database.get();
    PgResult prepared(PQprepare(c, "one", "select 1", 0, nullptr));
    constexpr int kRounds = 20000;
    const Stopwatch watch;
    for (int k = 0; k < kRounds; ++k)
        PgResult(PQexecPrepared(c, "one", 0, nullptr, nullptr, nullptr, 0));
    return watch.elapsed().wall / kRounds;
}

struct ServerImport {
    Timing time;
    Statements counted;
    long long peak = 0;
    bool completed = false;
};

// The import as the update run has it, with the alias naming the server.
ServerImport EngineOnServer(const std::string& conninfo, const std::filesystem::path& root) {
    const std::string aliasFile = (root / "aliases-server.ini").string();
    db::DemoDatabase::WriteServerAliasFile(aliasFile, conninfo);
    ::setenv("DBENGINE_CONFIG", aliasFile.c_str(), 1);
    db::TSession session;
    session.setSessionName("Kalvomer");
    session.setKeepConnections(false);
    db::TDatabase database;
    database.setAliasName(db::DemoDatabase::kAliasName);
    database.setDatabaseName("KALVOMER");
    database.setSessionName("Kalvomer");
    database.setKeepConnection(false);
    db::TTable personel;
    personel.setTableName("Personel.DB");
    personel.setDatabaseName("KALVOMER");
    personel.setSessionName("Kalvomer");
    db::DeclarePersonelFields(personel);
    personel.Open();
    db::TQuery work;
    work.setDatabaseName(database.getDatabaseName());
    work.setSessionName(database.getSessionName());
    ServerImport run;
    ResetPeakResident();
    app::TCatalogueImport import(work, nullptr);
    run.completed = Import(import, gEmbedded.catalogue, run.counted, run.time);
    run.peak = PeakResident();
    return run;
}

int ServerBench(const std::filesystem::path& root) {
    int failures = 0;
    auto fail = [&failures](const std::string& what) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    };
    // The server as a workshop installs it: default settings, fsync on.
    testsupport::PostgresCluster server({/*listenTcp=*/true, /*defaults=*/true});
    auto fresh = [&](const std::string& name) {
        server.Admin("CREATE DATABASE " + name);
        db::DemoDatabase::CreateOnServer(server.Conninfo(name));
    };
    fresh("import_socket");
    fresh("import_tcp");
    fresh("naive_socket");
    fresh("naive_tcp");

    const ServerImport e = EngineOnServer(server.Conninfo("import_socket"), root);
    const ServerImport eTcp = EngineOnServer(server.TcpConninfo("import_tcp"), root);
    Statements f, fTcp;
    Stopwatch watchF;
    NaiveMerge(gEmbedded.catalogue, server.Conninfo("naive_socket"), f);
    const Timing timeF = watchF.elapsed();
    Stopwatch watchFTcp;
    NaiveMerge(gEmbedded.catalogue, server.TcpConninfo("naive_tcp"), fTcp);
    const Timing timeFTcp = watchFTcp.elapsed();

    const double a = gEmbedded.import.wall;
    const double trip = RoundTrip(server.Conninfo("postgres"));
    const double tripTcp = RoundTrip(server.TcpConninfo("postgres"));
    const long long waited = e.counted.all - e.counted.inserts;
    std::printf("PostgreSQL 15 server, default settings, fresh databases:\n");
    std::printf("                              wall        processor (this process)\n");
    std::printf("(e) import, Unix socket:      %8.3f s  %8.3f s  statements %lld\n", e.time.wall,
                e.time.cpu, e.counted.all);
    std::printf("(e) import, TCP loopback:     %8.3f s  %8.3f s  statements %lld\n", eTcp.time.wall,
                eTcp.time.cpu, eTcp.counted.all);
    std::printf("(f) naive PQexec, Unix socket:%8.3f s  %8.3f s  statements %lld\n", timeF.wall,
                timeF.cpu, f.all);
    std::printf("(f) naive PQexec, TCP:        %8.3f s  %8.3f s  statements %lld\n", timeFTcp.wall,
                timeFTcp.cpu, fTcp.all);
    std::printf("e/f = %.3f over the socket, %.3f over TCP (target <= 0.25: %s)\n",
                e.time.wall / timeF.wall, eTcp.time.wall / timeFTcp.wall,
                Verdict(e.time.wall <= 0.25 * timeF.wall));
    std::printf("e/a = %.2f over the socket, %.2f over TCP (target <= 1.5: %s)\n", e.time.wall / a,
                eTcp.time.wall / a, Verdict(e.time.wall <= 1.5 * a));
    const long long target = 4 * gEmbedded.fileSize + 32LL * 1024 * 1024;
    // The import waits for the answer of each of its selects before it
    // knows its next statement: those round trips bound (e) from below.
    std::printf("round trip (prepared select 1): %.1f us over the socket, %.1f us over TCP; "
                "(e) waits for %lld answers: at least %.1f s, %.1f s\n",
                trip * 1e6, tripTcp * 1e6, waited, static_cast<double>(waited) * trip,
                static_cast<double>(waited) * tripTcp);
    std::printf("peak memory of (e) (VmHWM): %.1f MiB; target %.1f MiB: %s\n",
                static_cast<double>(e.peak) / kMiB, static_cast<double>(target) / kMiB,
                Verdict(e.peak <= target));

    if (!e.completed || !eTcp.completed)
        fail("(e) did not complete");
    for (const Statements* counted : {&e.counted, &eTcp.counted, const_cast<const Statements*>(&f),
                                      const_cast<const Statements*>(&fTcp)})
        if (counted->all != gEmbedded.statements.all ||
            counted->inserts != gEmbedded.statements.inserts)
            fail("a server import ran " + std::to_string(counted->all) + " statements, (a) " +
                 std::to_string(gEmbedded.statements.all));
    const std::vector<std::string> embedded = EmbeddedRows(gEmbedded.tablesFile);
    for (const char* name : {"import_socket", "import_tcp", "naive_socket"})
        if (ServerRows(server.Conninfo(name)) != embedded)
            fail(std::string("the rows of ") + name + " differ from (a)'s");
    return failures == 0 ? 0 : 1;
}

#endif // MMW_BENCH_POSTGRES

} // namespace

int main(int argc, char** argv) {
    int lines = 100000;
    if (argc > 2 || (argc == 2 && (lines = std::atoi(argv[1])) <= 0)) {
        std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
        return 2;
    }
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        base = "/tmp";
    std::string pattern = (base / "import_bench.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::filesystem::path root(pattern);
    int rc = 1;
    try {
        rc = Bench(lines, root);
#ifdef MMW_BENCH_POSTGRES
        rc |= ServerBench(root);
#endif
    } catch (const std::exception& e) {
        std::fprintf(stderr, "import_bench: %s\n", platform::Win1250ToUtf8(e.what()).c_str());
    }
    if (!std::getenv("IMPORT_BENCH_KEEP"))
        std::filesystem::remove_all(root, error);
    return rc;
}
