// What every driver must do alike, run against each (the suite's driver):
// upper() by the Windows-1250 table on every byte, the month/day/year date
// literal whatever the server's own date order, the widths of text columns,
// the run lock between two connections, and durable commits.

#include "db/Connection.h"
#include "db/EDBEngineError.h"
#include "db/EngineConfig.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"

#include <QtTest>

using db::Value;
using testsupport::DemoWorkshop;

namespace {

std::unique_ptr<db::Connection> Connect() {
    return db::OpenConnection(DemoWorkshop::kAliasName,
                              db::EngineConfig::AliasParams(DemoWorkshop::kAliasName));
}

std::string Literal(const std::string& text) {
    std::string out = "'";
    for (char ch : text)
        out += ch == '\'' ? std::string("''") : std::string(1, ch);
    return out + "'";
}

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void upperOnEveryByte_data();
    void upperOnEveryByte();
    void dateLiteralWhateverTheServerOrder_data();
    void dateLiteralWhateverTheServerOrder();
    void textLongerThanItsColumnIsRefused_data();
    void textLongerThanItsColumnIsRefused();
    void runLockBetweenConnections();
    void durableCommits();
};

void ConnectionTest::upperOnEveryByte_data() {
    QTest::addColumn<QString>("locale"); // of the server database; empty: the server's (C)
    QTest::newRow("C") << QString();
    QTest::newRow("C.UTF-8") << "C.UTF-8";
}

void ConnectionTest::upperOnEveryByte() {
    QFETCH(QString, locale);
    DemoWorkshop workshop(DemoWorkshop::SuiteDriver(), locale.toStdString());
    auto connection = Connect();
    // Every byte but 0 (which ends a text), as a name of its own, through a
    // literal as the import writes it.
    for (int byte = 1; byte < 256; ++byte)
        connection->Execute("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, " +
                                std::to_string(byte) + ", " +
                                Literal(std::string(1, static_cast<char>(byte)) + "x") + ")",
                            {});
    const db::ResultSet result =
        connection->Select("select MARKA, upper(NAZWA), NAZWA from MARKI where RDZPOJ = 0", {});
    QCOMPARE(result.rows.size(), std::size_t{255});
    for (const auto& row : result.rows) {
        const auto byte = static_cast<unsigned char>(row[0].integer());
        const std::string stored(1, static_cast<char>(byte));
        QCOMPARE(row[2].text(), stored + "x");
        const std::string upper(1, static_cast<char>(platform::AnsiUpperChar(byte)));
        QVERIFY2(row[1].text() == upper + "X", qPrintable(QString::number(byte)));
        // And a lookup by the upper-cased name finds it.
        const db::ResultSet found = connection->Select(
            "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = " + Literal(upper + "X"),
            {});
        QVERIFY2(!found.rows.empty(), qPrintable(QString::number(byte)));
    }
}

void ConnectionTest::dateLiteralWhateverTheServerOrder_data() {
    QTest::addColumn<QString>("dateStyle"); // the server database's own setting
    QTest::newRow("ISO, MDY") << "ISO, MDY";
    QTest::newRow("SQL, DMY") << "SQL, DMY";
    QTest::newRow("German") << "German, DMY";
    QTest::newRow("ISO, YMD") << "ISO, YMD";
}

void ConnectionTest::dateLiteralWhateverTheServerOrder() {
    QFETCH(QString, dateStyle);
    DemoWorkshop workshop;
    if (workshop.onServer())
        workshop.exec("ALTER DATABASE " +
                      workshop.scalar("select current_database()").toStdString() +
                      " SET DateStyle = '" + dateStyle.toStdString() + "'");
    auto connection = Connect();
    connection->Execute("insert into UPGRADE (NAME, DATAWYK) values ('DBU_12062013', '06/12/2013')",
                        {});
    QCOMPARE(workshop.scalar("select DATAWYK from UPGRADE"), QStringLiteral("2013-06-12"));
    // Read back through the engine in the same form.
    QCOMPARE(connection->Select("select DATAWYK from UPGRADE", {}).rows.at(0).at(0),
             Value("2013-06-12"));
}

void ConnectionTest::textLongerThanItsColumnIsRefused_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("message"); // empty: it is stored
    const QString make = "insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, -1, '%1')";
    QTest::newRow("as wide as its column") << make.arg(QString(40, 'A')) << QString();
    QTest::newRow("one letter more")
        << make.arg(QString(41, 'A')) << "value too long for type character varying(40)";
    QTest::newRow("letters of the code page count one each")
        << make.arg(QString(40, QChar(0x0141))) << QString();
    QTest::newRow("no column list")
        << "insert into UPGRADE values ('" + QString(31, 'N') + "', NULL)"
        << "value too long for type character varying(30)";
    QTest::newRow("a model's production month")
        << "insert into MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO) VALUES (0, -1, "
           "-1,'A4','1994.110','')"
        << "value too long for type character varying(7)";
}

void ConnectionTest::textLongerThanItsColumnIsRefused() {
    QFETCH(QString, statement);
    QFETCH(QString, message);
    DemoWorkshop workshop;
    auto connection = Connect();
    QString failure;
    try {
        connection->Execute(platform::FromQString(statement), {});
    } catch (const db::EDBEngineError& e) {
        failure = QString::fromStdString(e.Message());
    }
    QCOMPARE(failure, message);
    const int stored = workshop.scalar("select count(*) from MARKI").toInt() +
                       workshop.scalar("select count(*) from MODELE").toInt() +
                       workshop.scalar("select count(*) from UPGRADE").toInt();
    QCOMPARE(stored, message.isEmpty() ? 1 : 0);
}

void ConnectionTest::runLockBetweenConnections() {
    DemoWorkshop workshop;
    auto first = Connect();
    auto second = Connect();
    QVERIFY(first->TryLockRun());
    QVERIFY(first->TryLockRun()); // held already
    QVERIFY(!second->TryLockRun());
    first->ReleaseRunLock();
    QVERIFY(second->TryLockRun());
    // A holder that goes, however it goes, takes the lock with it: at once
    // on a file, as soon as the server has seen the session end.
    second.reset();
    QTRY_VERIFY_WITH_TIMEOUT(first->TryLockRun(), 30000);
}

void ConnectionTest::durableCommits() {
    DemoWorkshop workshop;
    auto connection = Connect();
    const std::string setting =
        workshop.onServer() ? "select current_setting('synchronous_commit')" : "PRAGMA synchronous";
    const Value relaxed = workshop.onServer() ? Value("off") : Value(1);
    const Value durable = workshop.onServer() ? Value("on") : Value(2);
    QCOMPARE(connection->Select(setting, {}).rows.at(0).at(0), relaxed);
    connection->SetDurableCommits(true);
    QCOMPARE(connection->Select(setting, {}).rows.at(0).at(0), durable);
    QCOMPARE(connection->Execute("insert into UPGRADE (NAME) values ('X')", {}), 1);
    connection->SetDurableCommits(false);
    QCOMPARE(connection->Select(setting, {}).rows.at(0).at(0), relaxed);
}

QTEST_GUILESS_MAIN(ConnectionTest)
#include "ConnectionTest.moc"
