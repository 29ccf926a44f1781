// The demo database builder and its command: what the database holds, that
// an existing one is never overwritten, and how the alias file is written.

#include "db/DemoDatabase.h"
#include "db/EngineConfig.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "tests/support/DemoWorkshop.h"

#include <QProcess>
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

QTEST_GUILESS_MAIN(DemoDatabaseTest)
#include "DemoDatabaseTest.moc"
