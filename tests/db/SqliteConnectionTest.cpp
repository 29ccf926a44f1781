// The SQLite driver against a real database file: opening, the Windows-1250
// border and upper(), the month/day/year date literal, errors, and the reuse
// of prepared statements.

#include "db/SqliteConnection.h"
#include "db/EDBEngineError.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"

#include <QtTest>

using db::EDBEngineError;
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
    void describeTable();
};

void SqliteConnectionTest::openFailuresNameTheFile_data() {
    QTest::addColumn<QString>("content"); // empty: no file at all
    QTest::newRow("missing file") << QString();
    QTest::newRow("not a database") << "this is no database, just text long enough to be read";
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
    // The engine never creates a database file.
    QCOMPARE(platform::FileExists(file), !content.isNull());
}

void SqliteConnectionTest::openSetsWal() {
    testsupport::DemoWorkshop workshop;
    workshop.exec("PRAGMA journal_mode=DELETE");
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("delete"));
    auto connection = SqliteConnection::Open(workshop.databaseDir());
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("wal"));
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
    for (int key = 0; key < 200; ++key)
        connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) values (0, " +
                                std::to_string(key) + ", 'M')",
                            {});
    QVERIFY(connection->CachedStatements() <= 64);
    QCOMPARE(workshop.scalar("select count(*) from MARKI"), QStringLiteral("200"));
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
