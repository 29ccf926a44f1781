// The demo database builder and its command: what the database holds, that
// an existing one is never overwritten, and how the alias file is written.

#include "db/DemoDatabase.h"
#include "db/EngineConfig.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "tests/support/DemoWorkshop.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

using db::DemoDatabase;
using platform::Exception;

class DemoDatabaseTest : public QObject {
    Q_OBJECT
private slots:
    void staffRows();
    void emptyCatalogue();
    void refusesExistingDatabase();
    void aliasFileKeepsOtherAliases();
    void command_data();
    void command();
    void serverCommandNeverOverwrites_data();
    void serverCommandNeverOverwrites();
};

void DemoDatabaseTest::staffRows() {
    testsupport::DemoWorkshop workshop;
    const QList<QStringList> expected{
        {"AD", "efhbikab", "1", "1", "Adam Dąbrowski"},
        {"AP", "ADMIN", "1", "0", "Agnieszka Półtorak"},
        {"PR", "PRAC", "2", "0", "Przemysław Żółkiewski"},
    };
    QCOMPARE(workshop.rows("select IDENTYFIKATOR, HASLO, UPRAWNIENIA, KODOWANIE, NAZWA "
                           "from PERSONEL order by IDENTYFIKATOR"),
             expected);
    QCOMPARE(workshop.scalar("PRAGMA journal_mode"), QStringLiteral("wal"));
}

void DemoDatabaseTest::emptyCatalogue() {
    testsupport::DemoWorkshop workshop;
    for (const char* table : {"MARKI", "MODELE", "WERSJE", "UPGRADE"})
        QCOMPARE(workshop.scalar(std::string("select count(*) from ") + table),
                 QStringLiteral("0"));
    // Plain column indexes serve the import's lookups.
    QCOMPARE(workshop.rows("select name from sqlite_master where type = 'index' and sql is not "
                           "null order by name"),
             (QList<QStringList>{{"MODELE_MARKA"}, {"WERSJE_MODEL"}}));
}

void DemoDatabaseTest::refusesExistingDatabase() {
    testsupport::DemoWorkshop workshop;
    workshop.exec("delete from PERSONEL where IDENTYFIKATOR = 'PR'");
    QVERIFY_THROWS_EXCEPTION(Exception, DemoDatabase::Create(workshop.databaseDir()));
    QCOMPARE(workshop.scalar("select count(*) from PERSONEL"), QStringLiteral("2"));
}

void DemoDatabaseTest::aliasFileKeepsOtherAliases() {
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("DBENGINE_CONFIG", dir.file("aliases.ini"));
    platform::WriteWholeFile(dir.file("aliases.ini"),
                             "[INNY]\nPATH=/inny\n\n[zirkonal_kalvomer_3]\nPATH=/stary\nX=1\n"
                             "[OSTATNI]\nPATH=/ostatni");
    DemoDatabase::WriteAliasFile(dir.file("aliases.ini"), "/nowy");
    QCOMPARE(db::EngineConfig::AliasParams(DemoDatabase::kAliasName),
             std::vector<std::string>{"PATH=/nowy"});
    QCOMPARE(db::EngineConfig::AliasParams("INNY"), std::vector<std::string>{"PATH=/inny"});
    QCOMPARE(db::EngineConfig::AliasParams("OSTATNI"), std::vector<std::string>{"PATH=/ostatni"});

    // A new file, in a directory that is not there yet.
    DemoDatabase::WriteAliasFile(dir.file("config/dbengine/aliases.ini"), "/d");
    testsupport::ScopedEnv other("DBENGINE_CONFIG", dir.file("config/dbengine/aliases.ini"));
    QCOMPARE(db::EngineConfig::AliasParams(DemoDatabase::kAliasName),
             std::vector<std::string>{"PATH=/d"});
}

void DemoDatabaseTest::command_data() {
    QTest::addColumn<QString>("setup"); // "", "database", "file-in-the-way"
    QTest::addColumn<int>("exitCode");
    QTest::newRow("fresh") << "" << 0;
    QTest::newRow("database kept") << "database" << 0;
    QTest::newRow("directory is a file") << "file-in-the-way" << 1;
}

void DemoDatabaseTest::command() {
    QFETCH(QString, setup);
    QFETCH(int, exitCode);
    testsupport::TempDir dir;
    const std::string databaseDir = dir.file("warsztat/dane");
    if (setup == "database") {
        DemoDatabase::Create(databaseDir);
    } else if (setup == "file-in-the-way") {
        QVERIFY(platform::CreateDir(dir.file("warsztat")));
        platform::WriteWholeFile(databaseDir, "x");
    }
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(dir.path()));
    process.start(MMW_DEMO_DB, {"warsztat/dane", "aliases.ini"});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    if (exitCode != 0) {
        QVERIFY(!process.readAllStandardError().isEmpty());
        return;
    }
    QVERIFY(DemoDatabase::Exists(databaseDir));
    testsupport::ScopedEnv env("DBENGINE_CONFIG", dir.file("aliases.ini"));
    // The alias holds the absolute directory.
    QCOMPARE(db::EngineConfig::AliasParams(DemoDatabase::kAliasName),
             std::vector<std::string>{"PATH=" + databaseDir});

    QProcess usage;
    usage.start(MMW_DEMO_DB, {"only-one"});
    QVERIFY(usage.waitForFinished());
    QCOMPARE(usage.exitCode(), 2);
    QVERIFY(usage.readAllStandardError().contains("usage"));
}

void DemoDatabaseTest::serverCommandNeverOverwrites_data() {
    QTest::addColumn<QString>("before"); // statements run on the empty database first
    QTest::addColumn<QString>("said");   // what the command says
    QTest::addColumn<QString>("tables"); // the workshop tables afterwards
    QTest::addColumn<QString>("staff");  // rows of PERSONEL afterwards
    QTest::newRow("empty database") << QString() << "Created the tables in"
                                    << "marki modele personel upgrade wersje"
                                    << "3";
    QTest::newRow("a table of its own is there")
        << "create table MARKI (RDZPOJ smallint, MARKA integer, NAZWA varchar(40)); "
           "insert into MARKI values (0, 7, 'AUDI')"
        << "exist in"
        << "marki" << QString();
    QTest::newRow("the workshop's tables are there") << "@demo"
                                                     << "exist in"
                                                     << "marki modele personel upgrade wersje"
                                                     << "3";
}

void DemoDatabaseTest::serverCommandNeverOverwrites() {
    QFETCH(QString, before);
    QFETCH(QString, said);
    QFETCH(QString, tables);
    QFETCH(QString, staff);
    // An empty database on the suite's server, reached as the tests reach it.
    testsupport::PostgresCluster& server = testsupport::DemoWorkshop::TestServer();
    const std::string name = "demo_" + std::to_string(QRandomGenerator::global()->generate());
    server.Admin("CREATE DATABASE " + name);
    const std::string conninfo = server.Conninfo(name) + " password=Sekret-123";
    if (before == "@demo")
        QVERIFY(DemoDatabase::CreateOnServer(conninfo));
    else if (!before.isEmpty())
        server.Query(name, before.toStdString());
    testsupport::TempDir dir;
    QProcess process;
    process.start(MMW_DEMO_DB, {"--server", QString::fromStdString(conninfo),
                                QString::fromStdString(dir.file("aliases.ini"))});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(output.contains(said), qPrintable(output));
    QVERIFY2(!output.contains("Sekret"), qPrintable(output));
    testsupport::ScopedEnv env("DBENGINE_CONFIG", dir.file("aliases.ini"));
    QCOMPARE(db::EngineConfig::AliasParams(DemoDatabase::kAliasName),
             (std::vector<std::string>{"DRIVER=POSTGRESQL", "CONNINFO=" + conninfo}));
    const auto present = server.Query(
        name, "select coalesce(string_agg(tablename, ' ' order by tablename), '') from pg_tables "
              "where schemaname = 'public'");
    QCOMPARE(QString::fromStdString(present.at(0).at(0)), tables);
    if (!staff.isNull())
        QCOMPARE(QString::fromStdString(server.Query(name, "select count(*) from PERSONEL")[0][0]),
                 staff);
    else // the table of its own is as it was
        QCOMPARE(server.Query(name, "select MARKA, NAZWA from MARKI"),
                 (std::vector<std::vector<std::string>>{{"7", "AUDI"}}));
    server.Admin("DROP DATABASE " + name + " WITH (FORCE)");
}

QTEST_GUILESS_MAIN(DemoDatabaseTest)
#include "DemoDatabaseTest.moc"
