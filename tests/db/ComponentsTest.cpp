// The engine's objects as the program uses them: a session "Kalvomer", the
// database KALVOMER on the workshop alias, the staff table with its declared
// fields, and queries.

#include "db/EDBEngineError.h"
#include "db/TDatabase.h"
#include "db/TQuery.h"
#include "db/TSession.h"
#include "db/TTable.h"
#include "db/WorkshopTables.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"

#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace db;
using platform::Pl;

namespace {

constexpr const char* kClosed = "Cannot perform this operation on a closed dataset";

// The main window's engine objects, owned by one parent as there.
struct Workshop {
    explicit Workshop(bool keepConnection = false) {
        session = new TSession(&owner);
        session->setSessionName("Kalvomer");
        session->setKeepConnections(false);
        database = new TDatabase(&owner);
        database->setAliasName(testsupport::DemoWorkshop::kAliasName);
        database->setDatabaseName("KALVOMER");
        database->setSessionName("Kalvomer");
        database->setKeepConnection(keepConnection);
        database->setLoginPrompt(false);
        database->setTransIsolation(tiDirtyRead);
        personel = new TTable(&owner);
        personel->setTableName("Personel.DB");
        personel->setDatabaseName("KALVOMER");
        personel->setSessionName("Kalvomer");
        db::DeclarePersonelFields(*personel);
    }

    // A query as the update run makes it: the database's names, no owner.
    std::unique_ptr<TQuery> query(const std::string& sql) const {
        auto q = std::make_unique<TQuery>();
        q->setDatabaseName(database->getDatabaseName());
        q->setSessionName(database->getSessionName());
        q->setSQL(Pl(sql));
        return q;
    }

    testsupport::DemoWorkshop files;
    QObject owner;
    TSession* session;
    TDatabase* database;
    TTable* personel;
};

template <typename F> QString Failure(F&& operation) {
    try {
        operation();
    } catch (const platform::Exception& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}

} // namespace

class ComponentsTest : public QObject {
    Q_OBJECT
private slots:
    void findKey_data();
    void findKey();
    void findKeyMissKeepsPosition();
    void findKeyAsksTheDatabase();
    void declaredFieldsAreTheFields();
    void declaredFieldMissingFailsOpen();
    void findFieldAndFieldByName();
    void nullMinimumReadsZero();
    void recordCountOfClosedQuery();
    void asInteger_data();
    void asInteger();
    void openOfInsertFailsWithoutRunning();
    void sessionDirectoriesOnlyWhileInactive_data();
    void sessionDirectoriesOnlyWhileInactive();
    void privateDirIsScratchDirectory();
    void namesWithoutCase_data();
    void namesWithoutCase();
    void unknownNames_data();
    void unknownNames();
    void keepConnectionFalse();
    void keepConnectionTrue();
    void failingStatementReleasesIdleDatabase();
    void duplicateNamesRefused();
    void ownerDestroysOpenObjects();
};

void ComponentsTest::findKey_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("haslo");
    QTest::addColumn<int>("uprawnienia");
    QTest::addColumn<int>("kodowanie");
    QTest::newRow("enciphered administrator") << "AD" << true << "efhbikab" << 1 << 1;
    QTest::newRow("plain administrator") << "AP" << true << "ADMIN" << 1 << 0;
    QTest::newRow("staff") << "PR" << true << "PRAC" << 2 << 0;
    QTest::newRow("lower case is another key") << "ad" << false << "" << 0 << 0;
    QTest::newRow("empty identifier") << "" << false << "" << 0 << 0;
    QTest::newRow("apostrophe is data") << "A'" << false << "" << 0 << 0;
}

void ComponentsTest::findKey() {
    QFETCH(QString, key);
    QFETCH(bool, found);
    Workshop w;
    w.personel->Open();
    QCOMPARE(w.personel->FindKey(key.toStdString()), found);
    if (!found)
        return;
    QFETCH(QString, haslo);
    QFETCH(int, uprawnienia);
    QFETCH(int, kodowanie);
    QCOMPARE(w.personel->FieldByName("IDENTYFIKATOR")->getAsString(), key.toStdString());
    QCOMPARE(w.personel->FieldByName("HASLO")->getAsString(), haslo.toStdString());
    QCOMPARE(w.personel->FieldByName("UPRAWNIENIA")->getAsInteger(), uprawnienia);
    QCOMPARE(w.personel->FieldByName("KODOWANIE")->getAsInteger(), kodowanie);
}

void ComponentsTest::findKeyMissKeepsPosition() {
    Workshop w;
    w.personel->Open();
    QVERIFY(w.personel->FindKey("PR"));
    QVERIFY(!w.personel->FindKey("XX"));
    QCOMPARE(w.personel->FieldByName("IDENTYFIKATOR")->getAsString(), std::string("PR"));
    // The names keep their letters through the Windows-1250 border.
    QCOMPARE(w.personel->FieldByName("NAZWA")->getAsString(), Pl("Przemysław Żółkiewski"));
}

void ComponentsTest::findKeyAsksTheDatabase() {
    Workshop w;
    w.personel->Open();
    QCOMPARE(w.personel->getRecordCount(), 3);
    w.files.exec("insert into PERSONEL (IDENTYFIKATOR, HASLO, UPRAWNIENIA, KODOWANIE) "
                 "values ('NW', 'NOWY', 3, 0)");
    w.files.exec("update PERSONEL set HASLO = 'ZMIANA' where IDENTYFIKATOR = 'AP'");
    QVERIFY(w.personel->FindKey("NW"));
    QCOMPARE(w.personel->FieldByName("HASLO")->getAsString(), std::string("NOWY"));
    QVERIFY(w.personel->FindKey("AP"));
    QCOMPARE(w.personel->FieldByName("HASLO")->getAsString(), std::string("ZMIANA"));
    w.files.exec("delete from PERSONEL where IDENTYFIKATOR = 'PR'");
    QVERIFY(!w.personel->FindKey("PR"));
    QCOMPARE(w.personel->FieldByName("IDENTYFIKATOR")->getAsString(), std::string("AP"));
}

void ComponentsTest::declaredFieldsAreTheFields() {
    Workshop w;
    TTable table;
    table.setDatabaseName("KALVOMER");
    table.setSessionName("Kalvomer");
    table.setTableName("Personel.DB");
    table.AddField("IDENTYFIKATOR", ftString, 2);
    table.AddField("HASLO", ftString, 8);
    table.Open();
    QCOMPARE(table.getFieldCount(), 2);
    QCOMPARE(table.FindField("NAZWA"), nullptr);
    QCOMPARE(table.FieldByName("haslo")->getAsString(), std::string("efhbikab")); // AD first
    table.Close();
    // Declared fields outlive the open; adding one needs a closed table.
    QVERIFY(table.FindField("HASLO"));
    w.personel->Open();
    QCOMPARE(Failure([&] { w.personel->AddField("X", ftString, 1); }),
             QStringLiteral("Cannot perform this operation on an open dataset"));
}

void ComponentsTest::declaredFieldMissingFailsOpen() {
    Workshop w;
    w.files.exec("alter table PERSONEL drop column KODOWANIE");
    const QString failure = Failure([&] { w.personel->Open(); });
    QVERIFY2(failure.contains("KODOWANIE"), qPrintable(failure));
    QVERIFY(!w.personel->getActive());
    QVERIFY(!w.database->getConnected());
}

void ComponentsTest::findFieldAndFieldByName() {
    Workshop w;
    auto q = w.query("select IDENTYFIKATOR, NAZWA as IMIE from PERSONEL order by 1");
    q->Open();
    QCOMPARE(q->FindField("NAZWA"), nullptr);
    QVERIFY(q->FindField("imie"));
    QCOMPARE(q->FindField("IMIE")->getAsString(), Pl("Adam Dąbrowski"));
    QCOMPARE(Failure([&] { q->FieldByName("KODOWANIE"); }),
             QStringLiteral("Field 'KODOWANIE' not found"));
    q->Next();
    q->Next();
    QCOMPARE(q->FieldByName("IDENTYFIKATOR")->getAsString(), std::string("PR"));
    QVERIFY(!q->getEof());
    q->Next();
    QVERIFY(q->getEof());
}

void ComponentsTest::nullMinimumReadsZero() {
    Workshop w;
    auto q = w.query("select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0");
    q->Open();
    QCOMPARE(q->getRecordCount(), 1);
    QVERIFY(q->FieldByName("MIN_MARKA")->getIsNull());
    QCOMPARE(q->FieldByName("MIN_MARKA")->getAsInteger(), 0);
    QCOMPARE(q->FieldByName("MIN_MARKA")->getAsString(), std::string());

    w.files.exec("insert into MARKI values (0, 7, 'A'), (0, -3, 'B'), (1, -90, 'C')");
    q->Close();
    q->Open();
    QCOMPARE(q->FieldByName("MIN_MARKA")->getAsInteger(), -3);
}

void ComponentsTest::recordCountOfClosedQuery() {
    Workshop w;
    auto q = w.query("select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'AUDI'");
    QCOMPARE(Failure([&] { q->getRecordCount(); }), QString(kClosed));
    q->Open();
    QCOMPARE(q->getRecordCount(), 0);
    q->Close();
    QCOMPARE(Failure([&] { q->getRecordCount(); }), QString(kClosed));

    // A select that fails leaves the query closed: asking it for its rows
    // then fails with the closed data set's text.
    q->setSQL("select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'A");
    QVERIFY(!Failure([&] { q->Open(); }).isEmpty());
    QCOMPARE(Failure([&] { q->getRecordCount(); }), QString(kClosed));
    QCOMPARE(Failure([&] { q->FieldByName("MARKA"); }), QStringLiteral("Field 'MARKA' not found"));
}

void ComponentsTest::asInteger_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");
    QTest::newRow("integer") << "-12" << true << -12;
    QTest::newRow("smallest 32-bit") << "-2147483648" << true << INT_MIN;
    QTest::newRow("largest 32-bit") << "2147483647" << true << INT_MAX;
    QTest::newRow("beyond 32 bits") << "2147483648" << false << 0;
    QTest::newRow("below 32 bits") << "-2147483649" << false << 0;
    QTest::newRow("whole text") << "'150'" << true << 150;
    QTest::newRow("signed text") << "'-7'" << true << -7;
    QTest::newRow("text not a number") << "'15a'" << false << 0;
    QTest::newRow("empty text") << "''" << false << 0;
    QTest::newRow("text beyond 32 bits") << "'99999999999'" << false << 0;
    QTest::newRow("whole real") << "3.0" << true << 3;
    QTest::newRow("fraction") << "2.5" << false << 0;
    QTest::newRow("null") << "NULL" << true << 0;
}

void ComponentsTest::asInteger() {
    QFETCH(QString, expression);
    QFETCH(bool, valid);
    QFETCH(int, expected);
    Workshop w;
    auto q = w.query("select " + expression.toStdString() + " as V");
    q->Open();
    TField* field = q->FieldByName("V");
    if (valid) {
        QCOMPARE(field->getAsInteger(), expected);
    } else {
        const QString failure = Failure([&] { field->getAsInteger(); });
        QVERIFY2(failure.contains("'V'"), qPrintable(failure));
    }
}

void ComponentsTest::openOfInsertFailsWithoutRunning() {
    Workshop w;
    auto q = w.query("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, -1, 'AUDI')");
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, q->Open());
    QVERIFY(!q->getActive());
    QCOMPARE(w.files.scalar("select count(*) from MARKI"), QStringLiteral("0"));
    QCOMPARE(q->ExecSQL(), 1);
    QCOMPARE(w.files.scalar("select NAZWA from MARKI where MARKA = -1"), QStringLiteral("AUDI"));
    // Replacing the text closes the query.
    q->setSQL("select * from MARKI");
    q->Open();
    q->setSQL("select * from MODELE");
    QVERIFY(!q->getActive());
}

void ComponentsTest::sessionDirectoriesOnlyWhileInactive_data() {
    QTest::addColumn<bool>("privateDir");
    QTest::newRow("NetFileDir") << false;
    QTest::newRow("PrivateDir") << true;
}

void ComponentsTest::sessionDirectoriesOnlyWhileInactive() {
    QFETCH(bool, privateDir);
    Workshop w;
    auto set = [&](const std::string& dir) {
        if (privateDir)
            w.session->setPrivateDir(dir);
        else
            w.session->setNetFileDir(dir);
    };
    auto get = [&] { return privateDir ? w.session->getPrivateDir() : w.session->getNetFileDir(); };
    QCOMPARE(w.session->getPrivateDir(), std::string("./"));
    set(w.files.file("one"));
    QVERIFY(!w.session->getActive());
    w.personel->Open(); // the first open activates the session
    QVERIFY(w.session->getActive());
    QCOMPARE(Failure([&] { set(w.files.file("two")); }),
             QStringLiteral("Cannot perform this operation on an active session"));
    QCOMPARE(get(), w.files.file("one"));
    w.session->setActive(false);
    QVERIFY(!w.personel->getActive()); // closing the session closed its data sets
    set(w.files.file("two"));
    QCOMPARE(get(), w.files.file("two"));
}

void ComponentsTest::privateDirIsScratchDirectory() {
    Workshop w;
    const std::string scratch = w.files.file("mmw");
    QVERIFY(platform::CreateDir(scratch));
    w.session->setPrivateDir(scratch);
    w.personel->Open();
    QVERIFY(sqlite3_temp_directory);
    QCOMPARE(std::string(sqlite3_temp_directory), scratch);

    // A directory that is not there is not handed to SQLite.
    w.session->Close();
    w.session->setPrivateDir(w.files.file("missing"));
    w.personel->Open();
    QCOMPARE(std::string(sqlite3_temp_directory), scratch);
}

void ComponentsTest::namesWithoutCase_data() {
    QTest::addColumn<QString>("databaseName");
    QTest::addColumn<QString>("sessionName");
    QTest::newRow("as the database names itself") << "KALVOMER"
                                                  << "Kalvomer";
    QTest::newRow("as the main query names it") << "Kalvomer"
                                                << "Kalvomer";
    QTest::newRow("lower case") << "kalvomer"
                                << "KALVOMER";
}

void ComponentsTest::namesWithoutCase() {
    QFETCH(QString, databaseName);
    QFETCH(QString, sessionName);
    Workshop w;
    TQuery q;
    q.setDatabaseName(databaseName.toStdString());
    q.setSessionName(sessionName.toStdString());
    q.setSQL("select count(*) N from PERSONEL");
    q.Open();
    QCOMPARE(q.getDatabase(), w.database);
    QCOMPARE(q.FieldByName("N")->getAsInteger(), 3);
}

void ComponentsTest::unknownNames_data() {
    QTest::addColumn<QString>("databaseName");
    QTest::addColumn<QString>("sessionName");
    QTest::addColumn<QString>("failure");
    QTest::newRow("database") << "KALVOMER2"
                              << "Kalvomer"
                              << "Unknown database: KALVOMER2";
    QTest::newRow("database of another session") << "KALVOMER"
                                                 << ""
                                                 << "Unknown database: KALVOMER";
    QTest::newRow("session") << "KALVOMER"
                             << "Inna"
                             << "Unknown session: Inna";
}

void ComponentsTest::unknownNames() {
    QFETCH(QString, databaseName);
    QFETCH(QString, sessionName);
    QFETCH(QString, failure);
    Workshop w;
    TQuery q;
    q.setDatabaseName(databaseName.toStdString());
    q.setSessionName(sessionName.toStdString());
    q.setSQL("select 1");
    QCOMPARE(Failure([&] { q.Open(); }), failure);
    QCOMPARE(Failure([&] { q.ExecSQL(); }), failure);
}

void ComponentsTest::keepConnectionFalse() {
    Workshop w(false);
    QVERIFY(!w.database->getConnected());
    w.personel->Open();
    QVERIFY(w.database->getConnected());
    auto q = w.query("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, -1, 'AUDI')");
    q->ExecSQL();
    QVERIFY(w.database->getConnected()); // the table still needs it
    w.personel->Close();
    QVERIFY(!w.database->getConnected());

    q->setSQL("insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, -2, 'BMW')");
    q->ExecSQL();
    QVERIFY(!w.database->getConnected()); // nothing open after the statement
    QCOMPARE(w.files.scalar("select count(*) from MARKI"), QStringLiteral("2"));

    q->setSQL("select * from MARKI");
    q->Open();
    QVERIFY(w.database->getConnected());
    q.reset(); // a data set that goes away closes
    QVERIFY(!w.database->getConnected());
}

void ComponentsTest::keepConnectionTrue() {
    Workshop w(true);
    w.personel->Open();
    w.personel->Close();
    QVERIFY(w.database->getConnected());
    w.database->setConnected(false);
    QVERIFY(!w.database->getConnected());
    // Closing the database closes its data sets.
    w.personel->Open();
    w.database->Close();
    QVERIFY(!w.personel->getActive());
}

void ComponentsTest::failingStatementReleasesIdleDatabase() {
    Workshop w(false);
    // Each driver in its own words.
    const QString missing = w.files.onServer() ? QStringLiteral("relation \"brak\" does not exist")
                                               : QStringLiteral("no such table: BRAK");
    auto q = w.query("insert into BRAK (X) values (1)");
    QCOMPARE(Failure([&] { q->ExecSQL(); }), missing);
    QVERIFY(!w.database->getConnected());
    q->setSQL("select * from BRAK");
    QCOMPARE(Failure([&] { q->Open(); }), missing);
    QVERIFY(!w.database->getConnected());
}

void ComponentsTest::duplicateNamesRefused() {
    Workshop w;
    TSession other;
    QCOMPARE(Failure([&] { other.setSessionName("KALVOMER"); }),
             QStringLiteral("Duplicate session name 'KALVOMER'"));
    TDatabase twin;
    twin.setAliasName(testsupport::DemoWorkshop::kAliasName);
    twin.setDatabaseName("Kalvomer");
    twin.setSessionName("Kalvomer");
    QCOMPARE(Failure([&] { twin.Open(); }), QStringLiteral("Duplicate database name 'Kalvomer'"));
}

void ComponentsTest::ownerDestroysOpenObjects() {
    // The owner deletes its children in creation order: session, database,
    // then the open table, whose database has gone before it.
    auto w = std::make_unique<Workshop>();
    w->personel->Open();
    auto q = w->query("select * from MARKI");
    q->Open();
    TDatabase* database = w->database;
    QVERIFY(database->getConnected());
    w.reset();
    QVERIFY(!q->getActive());
    QVERIFY(!TSession::FindSession("Kalvomer"));
}

QTEST_GUILESS_MAIN(ComponentsTest)
#include "ComponentsTest.moc"
