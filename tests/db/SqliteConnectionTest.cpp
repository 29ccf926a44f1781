// The SQLite driver against a real database file: opening, the Windows-1250
// border and upper(), the month/day/year date literal, errors, and the reuse
// of prepared statements.

#include "db/SqliteConnection.h"
#include "db/EDBEngineError.h"
#include "platform/FileLock.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "tests/support/ReadOnlyPath.h"

#include <QtTest>

using db::EDBEngineError;
using db::ResultSet;
using db::SqliteConnection;
using db::Value;
using platform::Pl;

namespace {

QString Message(const std::exception& e) {
    return QString::fromStdString(e.what());
}

} // namespace

class SqliteConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void openFailuresNameTheFile_data();
    void openFailuresNameTheFile();
    void openSetsWal();
    void readOnlyIsRefusedAndLeavesNothing_data();
    void readOnlyIsRefusedAndLeavesNothing();
    void networkShareUsesRollbackJournal();
    void logStaysSmall();
    void upperByWindows1250_data();
    void upperByWindows1250();
    void upperLeavesOtherCharacters();
    void polishTextRoundTrip();
    void dateLiteral_data();
    void dateLiteral();
    void errorCarriesSqliteMessage();
    void selectOfNonQueryDoesNotRun();
    void oneStatementAtATime();
    void cachedStatementsStartClean();
    void cacheIsBounded();
    void sameShapeSharesOneStatement();
    void literalsKeepTheirMeaning_data();
    void literalsKeepTheirMeaning();
    void errorsNameTheTextAsWritten();
    void dateLiteralsShareTheirShape();
    void importLookupsUseIndexes_data();
    void importLookupsUseIndexes();
    void describeTable();
};

void SqliteConnectionTest::openFailuresNameTheFile_data() {
    QTest::addColumn<QString>("content"); // empty: no file at all
    QTest::newRow("missing file") << QString();
    QTest::newRow("not a database") << "this is no database, just text long enough to be read";
    QTest::newRow("empty file") << QString("");
}

void SqliteConnectionTest::openFailuresNameTheFile() {
    QFETCH(QString, content);
    testsupport::TempDir dir;
    const std::string file = dir.file("tables.sqlite");
    if (!content.isNull())
        platform::WriteWholeFile(file, content.toStdString());
    try {
        SqliteConnection::Open(dir.path());
        QFAIL("opening must fail");
    } catch (const db::EDBEngineError& e) {
        QVERIFY2(e.Message().find(file) != std::string::npos, e.what());
    }
    // The engine never creates a database file, nor makes one of what it
    // found.
    QCOMPARE(platform::FileExists(file), !content.isNull());
    if (!content.isNull())
        QCOMPARE(QString::fromStdString(platform::ReadWholeFile(file)), content);
}

void SqliteConnectionTest::openSetsWal() {
    testsupport::DemoWorkshop workshop;
    workshop.exec("PRAGMA journal_mode=DELETE");
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("delete"));
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("wal"));
    auto pragma = [&](const char* name) {
        return connection->Select(std::string("PRAGMA ") + name, {}).rows.at(0).at(0);
    };
    // Commits are written, not flushed, until they are asked to be durable.
    QCOMPARE(pragma("synchronous"), Value(1));
    connection->SetDurableCommits(true);
    QCOMPARE(pragma("synchronous"), Value(2));
    connection->SetDurableCommits(false);
    QCOMPARE(pragma("synchronous"), Value(1));
}

void SqliteConnectionTest::readOnlyIsRefusedAndLeavesNothing_data() {
    QTest::addColumn<QString>("readOnly"); // what is made read-only, beside tables.sqlite
    QTest::newRow("read-only file") << "tables.sqlite";
    QTest::newRow("read-only directory") << ".";
    QTest::newRow("read-only shared memory left behind") << "tables.sqlite-shm";
}

void SqliteConnectionTest::readOnlyIsRefusedAndLeavesNothing() {
    QFETCH(QString, readOnly);
    testsupport::DemoWorkshop workshop;
    // A file an earlier local run left in WAL mode, its log gone with it.
    SqliteConnection::Open(workshop.databaseDir());
    const QDir dir(QString::fromStdString(workshop.databaseDir()));
    const std::string target = workshop.databaseDir() + "/" + readOnly.toStdString();
    if (!platform::FileExists(target) && !platform::DirectoryExists(target))
        platform::WriteWholeFile(target, std::string(32768, '\0'));
    const QStringList before = dir.entryList(QDir::Files);
    {
        testsupport::ReadOnlyPath readOnlyPath(target);
        try {
            SqliteConnection::Open(workshop.databaseDir());
            QFAIL("opening must fail");
        } catch (const db::EDBEngineError& e) {
            QVERIFY2(e.Message().find(workshop.tablesFile()) != std::string::npos, e.what());
            QVERIFY2(e.Message().find("read-only") != std::string::npos, e.what());
        }
    }
    // Nothing stays behind that would outlive the cause.
    QCOMPARE(dir.entryList(QDir::Files), before);
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QCOMPARE(connection->Execute("insert into UPGRADE (NAME) values ('X')", {}), 1);
}

void SqliteConnectionTest::networkShareUsesRollbackJournal() {
    testsupport::DemoWorkshop workshop;
    SqliteConnection::Open(workshop.databaseDir()); // left in WAL mode
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("wal"));
    static std::string share;
    share = workshop.databaseDir();
    SqliteConnection::SetNetworkProbe(
        [](const std::string& directory) { return directory == share; });
    struct ProbeEnd {
        ~ProbeEnd() { SqliteConnection::SetNetworkProbe(nullptr); }
    } probeEnd;

    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("delete"));
    // Every commit is flushed there, relaxed or not.
    connection->SetDurableCommits(false);
    QCOMPARE(connection->Select("PRAGMA synchronous", {}).rows.at(0).at(0), Value(2));
    QCOMPARE(connection->Execute("insert into UPGRADE (NAME) values ('X')", {}), 1);
    const QDir dir(QString::fromStdString(workshop.databaseDir()));
    QCOMPARE(dir.entryList({QStringLiteral("*-wal"), QStringLiteral("*-shm")}, QDir::Files),
             QStringList());
    // The run lock is still the lock file beside the tables.
    QVERIFY(connection->TryLockRun());
    platform::FileLock other;
    QVERIFY(!other.TryLock(workshop.databaseDir() + "/" + SqliteConnection::kRunLockName));
}

void SqliteConnectionTest::logStaysSmall() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QVERIFY(connection->TryLockRun());
    const QString log = QString::fromStdString(workshop.tablesFile() + "-wal");
    // About 12 MiB of rows, each committed on its own as the import commits
    // them: the log is copied back and starts over on the way, and the end
    // of the run cuts it back.
    const std::string name(2000, 'x');
    qint64 largest = 0;
    for (int i = 0; i < 6000; ++i) {
        connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (?1, ?2, ?3)",
                            {Value(std::int64_t{1}), Value(std::int64_t{i}), Value(name)});
        largest = std::max(largest, QFileInfo(log).size());
    }
    QVERIFY2(largest <= 8 * 1024 * 1024, QByteArray::number(largest));
    QVERIFY2(QFileInfo(log).size() > 1024 * 1024, "the run wrote too little to show a cut");
    connection->ReleaseRunLock();
    QVERIFY2(QFileInfo(log).size() <= 1024 * 1024, QByteArray::number(QFileInfo(log).size()));
    QCOMPARE(connection->Select("select count(*) from MARKI", {}).rows.at(0).at(0),
             Value(std::int64_t{6000}));
}

void SqliteConnectionTest::upperByWindows1250_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("upper");
    QTest::newRow("ascii") << "Audi a4"
                           << "AUDI A4";
    QTest::newRow("polish") << "żółć ąęśńź"
                            << "ŻÓŁĆ ĄĘŚŃŹ";
    QTest::newRow("central european") << "šťžľŕăâîďđ"
                                      << "ŠŤŽĽŔĂÂÎĎĐ";
    QTest::newRow("no capital in the code page") << "ß µ"
                                                 << "ß µ";
    QTest::newRow("already upper") << "ŁÓDŹ"
                                   << "ŁÓDŹ";
}

void SqliteConnectionTest::upperByWindows1250() {
    QFETCH(QString, text);
    QFETCH(QString, upper);
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const db::ResultSet result =
        connection->Select("select upper(?1), upper(NULL)", {Value(Pl(text.toStdString()))});
    QCOMPARE(result.rows.size(), std::size_t{1});
    QCOMPARE(platform::ToQString(result.rows[0][0].text()), upper);
    QVERIFY(result.rows[0][1].isNull());
}

void SqliteConnectionTest::upperLeavesOtherCharacters() {
    // Characters the code page lacks cannot be written in a statement, but a
    // file may hold them; upper() passes them through.
    testsupport::DemoWorkshop workshop;
    workshop.exec("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 1, 'лада ž')");
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const db::ResultSet result = connection->Select("select hex(upper(NAZWA)) from MARKI", {});
    QCOMPARE(QString::fromStdString(result.rows.at(0).at(0).text()),
             QString::fromLatin1(QStringLiteral("лада Ž").toUtf8().toHex().toUpper()));
}

void SqliteConnectionTest::polishTextRoundTrip() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    connection->Execute(Pl("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, -1, 'żółć')"), {});

    const db::ResultSet found = connection->Select(
        Pl("select MARKA, NAZWA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'ŻÓŁĆ'"), {});
    QCOMPARE(found.rows.size(), std::size_t{1});
    QCOMPARE(found.rows[0][0], Value(-1));
    QCOMPARE(found.rows[0][1].text(), Pl("żółć")); // Windows-1250 out
    QCOMPARE(found.rows[0][1].text().size(), std::size_t{4});
    // UTF-8 in the file, for every other tool.
    QCOMPARE(workshop.scalar("select NAZWA from MARKI"), QStringLiteral("żółć"));
    QCOMPARE(workshop.scalar("select hex(NAZWA) from MARKI"), QStringLiteral("C5BCC3B3C582C487"));
}

void SqliteConnectionTest::dateLiteral_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QList<QStringList>>("stored"); // NAME, DATAWYK of UPGRADE

    QTest::newRow("marker insert")
        << "insert into UPGRADE (NAME, DATAWYK) values ('DBU_12062013', '06/12/2013')"
        << QList<QStringList>{{"DBU_12062013", "2013-06-12"}};
    QTest::newRow("one-digit month and day, no column list")
        << "insert into UPGRADE values ('X', '6/1/2013')"
        << QList<QStringList>{{"X", "2013-06-01"}};
    QTest::newRow("columns in other order and case")
        << "INSERT INTO upgrade (datawyk, name) VALUES ('12/31/1999', '01/02/2003')"
        << QList<QStringList>{{"01/02/2003", "1999-12-31"}};
    QTest::newRow("quoted text with apostrophes, commas and parentheses first")
        << "insert into UPGRADE (NAME, DATAWYK) values ('it''s, (06/12/2013)', '02/29/2012')"
        << QList<QStringList>{{"it's, (06/12/2013)", "2012-02-29"}};
    QTest::newRow("several rows")
        << "insert into UPGRADE (NAME, DATAWYK) values ('A', '1/2/2000'), ('B', '10/20/2010')"
        << QList<QStringList>{{"A", "2000-01-02"}, {"B", "2010-10-20"}};
    QTest::newRow("not a valid date")
        << "insert into UPGRADE (NAME, DATAWYK) values ('A', '02/29/2013')"
        << QList<QStringList>{{"A", "02/29/2013"}};
    QTest::newRow("two-digit year")
        << "insert into UPGRADE (NAME, DATAWYK) values ('A', '06/12/13')"
        << QList<QStringList>{{"A", "06/12/13"}};
    QTest::newRow("an expression is not a literal")
        << "insert into UPGRADE (NAME, DATAWYK) values ('A', '06/12/2013' || '')"
        << QList<QStringList>{{"A", "06/12/2013"}};
    QTest::newRow("comments and line breaks") << "insert /* marker */ into UPGRADE\n(NAME, -- "
                                                 "name\n DATAWYK)\nvalues ('A',\n'06/12/2013')"
                                              << QList<QStringList>{{"A", "2013-06-12"}};
}

void SqliteConnectionTest::dateLiteral() {
    QFETCH(QString, statement);
    QFETCH(QList<QStringList>, stored);
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    connection->Execute(statement.toStdString(), {});
    QCOMPARE(workshop.rows("select NAME, DATAWYK from UPGRADE order by rowid"), stored);
}

void SqliteConnectionTest::errorCarriesSqliteMessage() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    try {
        connection->Select("selec MARKA from MARKI", {});
        QFAIL("a syntax error must fail");
    } catch (const db::EDBEngineError& e) {
        QCOMPARE(Message(e), QStringLiteral("near \"selec\": syntax error"));
    }
    try {
        connection->Select(Pl("select * from BRAK_TABELI_ŻÓŁW"), {});
        QFAIL("a missing table must fail");
    } catch (const db::EDBEngineError& e) {
        // SQLite's UTF-8 message, back in Windows-1250.
        QCOMPARE(e.Message(), Pl("no such table: BRAK_TABELI_ŻÓŁW"));
    }
    // A failed statement leaves the connection usable.
    QCOMPARE(connection->Select("select count(*) from PERSONEL", {}).rows.at(0).at(0), Value(3));
}

void SqliteConnectionTest::selectOfNonQueryDoesNotRun() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QVERIFY_THROWS_EXCEPTION(
        EDBEngineError,
        connection->Select("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 1, 'A')", {}));
    QCOMPARE(workshop.scalar("select count(*) from MARKI"), QStringLiteral("0"));
}

void SqliteConnectionTest::oneStatementAtATime() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QVERIFY_THROWS_EXCEPTION(EDBEngineError,
                             connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values "
                                                 "(0, 1, 'A'); delete from PERSONEL",
                                                 {}));
    QCOMPARE(workshop.scalar("select count(*) from MARKI"), QStringLiteral("0"));
    QCOMPARE(workshop.scalar("select count(*) from PERSONEL"), QStringLiteral("3"));
    // A trailing semicolon or comment is no second statement.
    QCOMPARE(connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 1, 'A'); "
                                 "-- done",
                                 {}),
             1);
}

void SqliteConnectionTest::cachedStatementsStartClean() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const std::string sql = "select IDENTYFIKATOR from PERSONEL where IDENTYFIKATOR = ?1";
    QCOMPARE(connection->Select(sql, {Value("AP")}).rows.size(), std::size_t{1});
    const std::size_t cached = connection->CachedStatements();
    QCOMPARE(connection->Select(sql, {Value("PR")}).rows.at(0).at(0), Value("PR"));
    QCOMPARE(connection->CachedStatements(), cached);
    // Reused without a value: the old binding is gone, so nothing matches.
    QCOMPARE(connection->Select(sql, {}).rows.size(), std::size_t{0});
    // A select run again sees rows written since its last run.
    const std::string count = "select count(*) from MARKI where RDZPOJ = 0";
    QCOMPARE(connection->Select(count, {}).rows.at(0).at(0), Value(0));
    workshop.exec("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 5, 'A')");
    QCOMPARE(connection->Select(count, {}).rows.at(0).at(0), Value(1));
}

void SqliteConnectionTest::cacheIsBounded() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    // Each alias makes a statement of its own shape.
    for (int key = 0; key < 200; ++key)
        connection->Select("select NAZWA N" + std::to_string(key) + " from MARKI", {});
    QVERIFY(connection->CachedStatements() <= 64);
}

void SqliteConnectionTest::sameShapeSharesOneStatement() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const std::string lookup = "select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = ";
    connection->Select(lookup + "-1 and upper(NAZWA) = 'X'", {});
    connection->Execute("insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, "
                        "POJ_TECH, POJ_TAX, MOC_KW, MOC_KM) VALUES (0, -1, -1,'X','','',0,0,0,0)",
                        {});
    const std::size_t cached = connection->CachedStatements();
    const std::vector<std::string> names = {"1.8 T", Pl("ŁADA 'SPORT'"), "O'X", ""};
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::string quoted;
        for (char ch : names[k])
            quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
        const std::string key = std::to_string(-2 - static_cast<int>(k));
        QCOMPARE(connection->Select(lookup + key + " and upper(NAZWA) = '" + quoted + "'", {})
                     .rows.size(),
                 std::size_t{0});
        QCOMPARE(connection->Execute("insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, "
                                     "PROD_DO, POJ_TECH, POJ_TAX, MOC_KW, MOC_KM) VALUES (0, " +
                                         key + ", " + key + ",'" + quoted + "','1996.03','',1781," +
                                         std::to_string(k) + ",110,150)",
                                     {}),
                 1);
        const ResultSet found =
            connection->Select(lookup + key + " and upper(NAZWA) = '" + quoted + "'", {});
        QCOMPARE(found.rows.size(), std::size_t{1});
        QCOMPARE(found.rows[0][0], Value(std::int64_t{-2 - static_cast<std::int64_t>(k)}));
    }
    QCOMPARE(connection->CachedStatements(), cached);
    // Each value stored as the literal said: text as text, numbers as integers.
    QCOMPARE(workshop.rows("select NAZWA, typeof(PROD_OD), PROD_DO, typeof(POJ_TAX), POJ_TAX "
                           "from WERSJE where MODEL = -3"),
             (QList<QStringList>{{QString::fromUtf8("ŁADA 'SPORT'"), "text", "", "integer", "1"}}));
    QCOMPARE(workshop.scalar("select NAZWA from WERSJE where MODEL = -4"), QStringLiteral("O'X"));
}

void SqliteConnectionTest::literalsKeepTheirMeaning_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QList<QStringList>>("rows");
    const QString three = "insert into MARKI values (0, 1, 'B'), (0, 2, 'A'), (0, 3, 'A')";
    QTest::newRow("result columns keep their names")
        << three << "select 1, 'x', NAZWA from MARKI where MARKA = 1"
        << QStringList{"1", "'x'", "NAZWA"} << QList<QStringList>{{"1", "x", "B"}};
    QTest::newRow("ORDER BY a position")
        << three << "select NAZWA, MARKA from MARKI where RDZPOJ = 0 order by 2 desc"
        << QStringList{"NAZWA", "MARKA"} << QList<QStringList>{{"A", "3"}, {"A", "2"}, {"B", "1"}};
    QTest::newRow("GROUP BY a position")
        << three << "select NAZWA, count(*) from MARKI where RDZPOJ = 0 group by 1"
        << QStringList{"NAZWA", "count(*)"} << QList<QStringList>{{"A", "2"}, {"B", "1"}};
    QTest::newRow("text compared with an integer column")
        << three << "select NAZWA from MARKI where MARKA = '2'" << QStringList{"NAZWA"}
        << QList<QStringList>{{"A"}};
    QTest::newRow("blob literal") << three << "select count(*) from MARKI where NAZWA = x'41'"
                                  << QStringList{"count(*)"} << QList<QStringList>{{"0"}};
    QTest::newRow("the smallest integer")
        << "insert into MARKI values (0, -9223372036854775808, 'M')"
        << "select NAZWA from MARKI where MARKA = -9223372036854775808" << QStringList{"NAZWA"}
        << QList<QStringList>{{"M"}};
    QTest::newRow("update and delete by literals")
        << three + "; update MARKI set NAZWA = 'C''D' where MARKA = 3; delete from MARKI where "
                   "NAZWA = 'B'"
        << "select NAZWA from MARKI where RDZPOJ = 0 order by MARKA" << QStringList{"NAZWA"}
        << QList<QStringList>{{"A"}, {"C'D"}};
}

void SqliteConnectionTest::literalsKeepTheirMeaning() {
    QFETCH(QString, setup);
    QFETCH(QString, query);
    QFETCH(QStringList, columns);
    QFETCH(QList<QStringList>, rows);
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    // Through the driver, one statement at a time.
    for (const QString& statement : setup.split("; "))
        connection->Execute(statement.toStdString(), {});
    const ResultSet result = connection->Select(query.toStdString(), {});
    QStringList names;
    for (const auto& c : result.columns)
        names << QString::fromStdString(c);
    QCOMPARE(names, columns);
    QList<QStringList> got;
    for (const auto& row : result.rows) {
        QStringList cells;
        for (const Value& v : row)
            cells << (v.kind() == Value::Kind::Integer ? QString::number(v.integer())
                                                       : QString::fromStdString(v.text()));
        got << cells;
    }
    QCOMPARE(got, rows);
}

void SqliteConnectionTest::errorsNameTheTextAsWritten() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const auto message = [&](const std::string& sql) {
        try {
            connection->Select(sql, {});
        } catch (const db::EDBEngineError& e) {
            return Message(e);
        }
        return QStringLiteral("no error");
    };
    QCOMPARE(message("select * from MARKI where NAZWA = 'x' 'y'"),
             QStringLiteral("near \"'y'\": syntax error"));
    QCOMPARE(message("select * from MARKI where NAZWA = 'x' and BRAK = 5"),
             QStringLiteral("no such column: BRAK"));
    QCOMPARE(message("select * from MARKI where MARKA = 1 and"),
             QStringLiteral("incomplete input"));
    try {
        connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 1, 'A')", {});
        connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, 1, 'B')", {});
        QFAIL("a duplicate key must fail");
    } catch (const db::EDBEngineError& e) {
        QCOMPARE(Message(e), QStringLiteral("UNIQUE constraint failed: MARKI.RDZPOJ, MARKI.MARKA"));
    }
    QCOMPARE(workshop.scalar("select group_concat(NAZWA) from MARKI"), QStringLiteral("A"));
}

void SqliteConnectionTest::dateLiteralsShareTheirShape() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    // The shape is first seen with a value that is no date: a date in the
    // same place later is still read as one.
    connection->Execute("insert into UPGRADE (NAME, DATAWYK) values ('0', 'soon')", {});
    connection->Execute("insert into UPGRADE (NAME, DATAWYK) values ('A', '06/12/2013')", {});
    const std::size_t cached = connection->CachedStatements();
    connection->Execute("insert into UPGRADE (NAME, DATAWYK) values ('B', '2/29/2012')", {});
    connection->Execute("insert into UPGRADE (NAME, DATAWYK) values ('C', '02/30/2012')", {});
    QCOMPARE(connection->CachedStatements(), cached);
    QCOMPARE(workshop.rows("select NAME, DATAWYK from UPGRADE order by rowid"),
             (QList<QStringList>{
                 {"0", "soon"}, {"A", "2013-06-12"}, {"B", "2012-02-29"}, {"C", "02/30/2012"}}));
}

// The plans of the import's statements as the driver prepares them: the
// lookups narrow to one parent through the covering (RDZPOJ, parent, NAZWA)
// indexes, and the smallest key comes from the clustered primary key.
void SqliteConnectionTest::importLookupsUseIndexes_data() {
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("plan");
    QTest::newRow("make") << "select MARKA from MARKI where RDZPOJ = ?1 and upper(NAZWA) = ?2"
                          << "SEARCH MARKI USING PRIMARY KEY (RDZPOJ=?)";
    QTest::newRow("model") << "select MODEL from MODELE where RDZPOJ = ?1 and MARKA = ?2 and "
                              "upper(NAZWA) = ?3"
                           << "USING COVERING INDEX MODELE_MARKA (RDZPOJ=? AND MARKA=?)";
    QTest::newRow("version") << "select WERSJA from WERSJE where RDZPOJ = ?1 and MODEL = ?2 and "
                                "upper(NAZWA) = ?3"
                             << "USING COVERING INDEX WERSJE_MODEL (RDZPOJ=? AND MODEL=?)";
    QTest::newRow("smallest make") << "select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = ?1"
                                   << "SEARCH MARKI USING PRIMARY KEY (RDZPOJ=?)";
    QTest::newRow("smallest model") << "select min(MODEL) MIN_MODEL from MODELE where RDZPOJ = ?1"
                                    << "SEARCH MODELE USING PRIMARY KEY (RDZPOJ=?)";
    QTest::newRow("smallest version")
        << "select min(WERSJA) MIN_WERSJA from WERSJE where RDZPOJ = ?1"
        << "SEARCH WERSJE USING PRIMARY KEY (RDZPOJ=?)";
}

void SqliteConnectionTest::importLookupsUseIndexes() {
    QFETCH(QString, shape);
    QFETCH(QString, plan);
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    // The values the import binds: kind 0, a parent key, a name.
    std::vector<Value> values = {Value(0), Value(-1), Value("A")};
    values.resize(static_cast<std::size_t>(shape.count('?')));
    if (values.size() == 2)
        values[1] = Value("A");
    const ResultSet result =
        connection->Select("EXPLAIN QUERY PLAN " + shape.toStdString(), values);
    QStringList details;
    for (const auto& row : result.rows)
        details << QString::fromStdString(row.back().text());
    QCOMPARE(details.size(), 1);
    QVERIFY2(details[0].endsWith(plan), qPrintable(details[0]));
}

void SqliteConnectionTest::describeTable() {
    testsupport::DemoWorkshop workshop;
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    const db::TableInfo personel = connection->DescribeTable("personel");
    QStringList names;
    for (const auto& c : personel.columns)
        names << QString::fromStdString(c.name);
    QCOMPARE(names, (QStringList{"IDENTYFIKATOR", "HASLO", "NAZWA", "ADRES", "TELEFON1", "TELEFON2",
                                 "EMAIL", "PROWIZJA_MATERIAL", "PROWIZJA_USLUGA", "UPRAWNIENIA",
                                 "STANOWISKO", "KODOWANIE", "NOWE_UPRAWNIENIA",
                                 "BLOKADA_INTERFEJSU", "TYLKO_MENU_WYBRANE"}));
    QCOMPARE(personel.primaryKey, std::vector<std::string>{"IDENTYFIKATOR"});
    QCOMPARE(connection->DescribeTable("WERSJE").primaryKey,
             (std::vector<std::string>{"RDZPOJ", "WERSJA"}));
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, connection->DescribeTable("BRAK"));
}

QTEST_GUILESS_MAIN(SqliteConnectionTest)
#include "SqliteConnectionTest.moc"
