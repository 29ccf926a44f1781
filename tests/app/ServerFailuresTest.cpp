// The workshop database on a PostgreSQL server when the server fails: one
// that cannot be reached or refuses the login, a connection lost in the
// middle of an import, and a restart of the server between two runs. The
// servers are real: the suite's, and one of this test's own where it is
// restarted.

#include "app/CatalogueImport.h"
#include "app/DemoCatalogue.h"
#include "app/Main.h"
#include "db/DemoDatabase.h"
#include "db/StatementTrace.h"
#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "db/TTable.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "tests/support/PostgresCluster.h"
#include "tests/support/TempDir.h"
#include "waitmessage/Waitmessage.h"

#include <QPushButton>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

using namespace platform;
using testsupport::DemoWorkshop;
using testsupport::Driver;

namespace {

const char* kSecret = "Sekret-123";

// The main window's engine objects and a work query, as the update run has
// them, on the alias the fixture wrote.
struct Engine {
    TFMain form;
    db::TQuery work;
    Engine() {
        work.setDatabaseName(form.Database1->getDatabaseName());
        work.setSessionName(form.Database1->getSessionName());
    }
    bool import(const std::string& file) {
        PushMessageBoxAnswer(IDOK);
        app::TCatalogueImport import(work, form.komunikat);
        return import.Run(file);
    }
};

QString Counts(const DemoWorkshop& workshop) {
    return workshop.scalar("select count(*) from MARKI") + ' ' +
           workshop.scalar("select count(*) from MODELE") + ' ' +
           workshop.scalar("select count(*) from WERSJE");
}

} // namespace

class ServerFailuresTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        ClearMessageBoxAnswers();
        TakeMessageBoxCalls();
    }
    void connectionStringAsLibpqReadsIt_data();
    void connectionStringAsLibpqReadsIt();
    void unreachableOrRefusedServerAtTheButton_data();
    void unreachableOrRefusedServerAtTheButton();
    void connectionLostMidImport();
    void serverRestartBetweenRunsIsHarmless();
};

void ServerFailuresTest::connectionStringAsLibpqReadsIt_data() {
    QTest::addColumn<QString>("conninfo"); // %1 directory, %2 port, %3 database of the server
    QTest::addColumn<QStringList>("environment"); // NAME=value, %4 the service file
    QTest::addColumn<QString>("serviceFile");
    QTest::newRow("keywords") << "host=%1 port=%2 user=mmw dbname=%3" << QStringList() << QString();
    QTest::newRow("URI") << "postgresql://mmw@/%3?host=%1&port=%2" << QStringList() << QString();
    QTest::newRow("the PG* environment")
        << "dbname=%3" << QStringList{"PGHOST=%1", "PGPORT=%2", "PGUSER=mmw"} << QString();
    QTest::newRow("a service file") << "service=kalvomer" << QStringList{"PGSERVICEFILE=%4"}
                                    << "[kalvomer]\nhost=%1\nport=%2\nuser=mmw\ndbname=%3\n";
}

void ServerFailuresTest::connectionStringAsLibpqReadsIt() {
    QFETCH(QString, conninfo);
    QFETCH(QStringList, environment);
    QFETCH(QString, serviceFile);
    DemoWorkshop workshop(Driver::Postgres);
    const testsupport::PostgresCluster& suite = DemoWorkshop::TestServer();
    const QString database = workshop.scalar("select current_database()");
    const QString services = QString::fromStdString(workshop.file("pg_service.conf"));
    auto place = [&](QString text) {
        return text.replace(QStringLiteral("%1"), QString::fromStdString(suite.directory()))
            .replace(QStringLiteral("%2"), QString::number(suite.port()))
            .replace(QStringLiteral("%3"), database)
            .replace(QStringLiteral("%4"), services);
    };
    if (!serviceFile.isEmpty())
        platform::WriteWholeFile(services.toStdString(), place(serviceFile).toStdString());
    std::vector<std::unique_ptr<testsupport::ScopedEnv>> set;
    for (const QString& assignment : environment) {
        const QString name = assignment.section('=', 0, 0);
        set.push_back(std::make_unique<testsupport::ScopedEnv>(
            name.toStdString().c_str(), place(assignment.section('=', 1)).toStdString()));
    }
    db::DemoDatabase::WriteServerAliasFile(workshop.aliasFile(), place(conninfo).toStdString());

    Engine engine;
    engine.form.TPersonel->Open();
    QVERIFY(engine.form.TPersonel->FindKey(db::Value(std::string("PR"))));
    QCOMPARE(engine.form.TPersonel->FieldByName("NAZWA")->getAsString(),
             Pl("Przemysław Żółkiewski"));
}

void ServerFailuresTest::unreachableOrRefusedServerAtTheButton_data() {
    QTest::addColumn<QString>("conninfo"); // %1: the suite server's directory, %2 its port
    QTest::addColumn<QString>("server");   // as the box names it
    QTest::addColumn<QString>("database");
    QTest::newRow("no server at that port")
        << "host=%1 port=1 user=mmw dbname=kalvomer password=Sekret-123"
        << "%1:1"
        << "kalvomer";
    QTest::newRow("unknown user")
        << "host=%1 port=%2 user=kierownik dbname=postgres password=Sekret-123"
        << "%1:%2"
        << "postgres";
    QTest::newRow("no such database") << "postgresql://mmw:Sekret-123@/brak?host=%1&port=%2"
                                      << "%1:%2"
                                      << "brak";
}

void ServerFailuresTest::unreachableOrRefusedServerAtTheButton() {
    QFETCH(QString, conninfo);
    QFETCH(QString, server);
    QFETCH(QString, database);
    const testsupport::PostgresCluster& suite = DemoWorkshop::TestServer();
    const QString dir = QString::fromStdString(suite.directory());
    const QString port = QString::number(suite.port());
    testsupport::TempDir files;
    auto place = [&](QString text) {
        return text.replace(QStringLiteral("%1"), dir).replace(QStringLiteral("%2"), port);
    };
    db::DemoDatabase::WriteServerAliasFile(files.file("aliases.ini"),
                                           place(conninfo).toStdString());
    testsupport::ScopedEnv config("DBENGINE_CONFIG", files.file("aliases.ini"));

    TFMain form;
    // The button's first step opens the staff table: its failure reaches
    // the standard exception display.
    PushMessageBoxAnswer(IDOK);
    platform::Guard([&] { form.Button1Click(form.Button1); });
    const auto boxes = TakeMessageBoxCalls();
    QCOMPARE(boxes.size(), std::size_t{1});
    const QString text = ToQString(boxes[0].text);
    QCOMPARE(boxes[0].flags, 16);
    QVERIFY2(text.contains("the database " + database + " on server " + place(server)),
             qPrintable(text));
    QVERIFY2(!text.contains(kSecret), qPrintable(text));
    QVERIFY(form.Button1->isEnabled());
}

void ServerFailuresTest::connectionLostMidImport() {
    DemoWorkshop workshop(Driver::Postgres);
    testsupport::TempDir dir;
    const std::string file = dir.file("mmw.csv");
    app::WriteDemoCatalogue(file, 300);
    auto engine = std::make_unique<Engine>();
    engine->form.TPersonel->Open(); // holds the connection, as the update run does

    // The server ends the work connection in the middle of the 50th
    // version insert, as a server that goes down would.
    workshop.exec("create function cut() returns trigger language plpgsql as $$ begin "
                  "if (select count(*) from WERSJE) >= 49 then "
                  "perform pg_terminate_backend(pg_backend_pid()); end if; return new; end $$; "
                  "create trigger cut before insert on WERSJE for each row execute function cut()");
    QVERIFY(!engine->import(file));
    workshop.exec("drop trigger cut on WERSJE");
    const auto boxes = TakeMessageBoxCalls();
    QCOMPARE(boxes.size(), std::size_t{1});
    const QString text = ToQString(boxes[0].text);
    QVERIFY2(text.startsWith(QStringLiteral("Wystąpił błąd podczas pobierania danych z "
                                            "serwera\nLost the connection to the database ")),
             qPrintable(text));
    QCOMPARE(boxes[0].flags, 48);
    // What was inserted before stays.
    const QString partial = Counts(workshop);
    QVERIFY(partial != QStringLiteral("0 0 0"));

    // The next run connects again and completes: the same rows as an import
    // that was never cut.
    QVERIFY(engine->import(file));
    QVERIFY(TakeMessageBoxCalls().empty());
    QCOMPARE(workshop.scalar("select count(*) from WERSJE").toInt() > 49, true);
    engine.reset();
    DemoWorkshop clean(Driver::Postgres);
    Engine cleanEngine;
    QVERIFY(cleanEngine.import(file));
    QCOMPARE(Counts(workshop), Counts(clean));
    QCOMPARE(workshop.rows("select * from WERSJE order by WERSJA"),
             clean.rows("select * from WERSJE order by WERSJA"));
}

void ServerFailuresTest::serverRestartBetweenRunsIsHarmless() {
    // A server of this test's own: the suite's serves other tests meanwhile.
    testsupport::PostgresCluster server(testsupport::PostgresCluster::Options{});
    server.Admin("CREATE DATABASE kalvomer");
    db::DemoDatabase::CreateOnServer(server.Conninfo("kalvomer"));
    testsupport::TempDir dir;
    db::DemoDatabase::WriteServerAliasFile(dir.file("aliases.ini"), server.Conninfo("kalvomer"));
    testsupport::ScopedEnv config("DBENGINE_CONFIG", dir.file("aliases.ini"));
    const std::string file = dir.file("mmw.csv");
    app::WriteDemoCatalogue(file, 150);

    Engine engine;
    engine.form.TPersonel->Open();
    QVERIFY(engine.form.Database1->TryLockRun());
    engine.form.Database1->ReleaseRunLock();
    server.Restart();

    // The next run: the login's lookup, the run lock and the import all
    // work on a connection opened afresh.
    QVERIFY(engine.form.TPersonel->FindKey(db::Value(std::string("AD"))));
    QCOMPARE(engine.form.TPersonel->FieldByName("HASLO")->getAsString(), std::string("efhbikab"));
    QVERIFY(engine.form.Database1->TryLockRun());
    QVERIFY(engine.import(file));
    const auto boxes = TakeMessageBoxCalls();
    QVERIFY2(boxes.empty(), boxes.empty() ? "" : boxes[0].text.c_str());
    engine.form.Database1->ReleaseRunLock();
}

QTEST_MAIN(ServerFailuresTest)
#include "ServerFailuresTest.moc"
