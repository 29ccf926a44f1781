// The update run end to end: the real windows driven as a person would,
// against a real demo database and a scripted HTTP server on loopback.

#include "app/ApplicationForms.h"
#include "app/CatalogueDownload.h"
#include "app/CatalogueFile.h"
#include "app/DemoCatalogue.h"
#include "app/Main.h"
#include "db/Connection.h"
#include "db/EngineConfig.h"
#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "db/TTable.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "tests/support/PlainSocket.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "waitmessage/Waitmessage.h"
#include "walkthrough/UserDriver.h"

#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <optional>

using testsupport::Script;
using testsupport::ScriptedServer;

namespace {

const QString kQuestion =
    QStringLiteral("Uwaga|Czy chcesz pobrać i wczytać aktualizację marek, modeli i wersji ?\n"
                   "(Przed wczytaniem należy wykonać kopie danych)|36");
const QString kSuccess = QStringLiteral("Informacja|Operacja została przeprowadzona pomyślnie|64");
const QString kOnce =
    QStringLiteral("Błąd!|Modyfikację danych można przeprowadzić tylko jeden raz.|16");
const QString kLocked =
    QStringLiteral("Błąd!|Aktualizacja jest już wykonywana na innym stanowisku.|16");
const QString kDownloadText = QStringLiteral("Pobieram marki, modele i werjse\n");
const QString kImportText = QStringLiteral("Wczytuje marki, modele i werjse\n");

// Two makes, two models, three versions; Polish letters in Windows-1250.
const QByteArray kSmallCatalogue = "Fiat;Punto;09.93-09.99;1.1 55;09.93-09.99;54/40;B;1108;\r\n"
                                   "Fiat;Punto;09.93-09.99;1.2 60;09.93-09.99;60/44;B;1242;\r\n"
                                   "\x8Cwiat;\xA3o\x9C;01.80-;1.5;01.80-;75/55;B;1500;\r\n";
const QByteArray kEarlierCatalogue = "Earlier;Model;01.01-;V;01.01-;1/1;B;1;\r\n";

QByteArray Reply(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.0 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

// "caption|text|flags" of every box asked for, in the program's own text.
QStringList Boxes() {
    QStringList boxes;
    for (const auto& call : platform::TakeMessageBoxCalls())
        boxes << platform::ToQString(call.caption) + '|' + platform::ToQString(call.text) + '|' +
                     QString::number(call.flags);
    return boxes;
}

// The usual reply: the small catalogue, whole, with status 200.
Script SmallReply() {
    return Script::Reply(Reply("200 OK", kSmallCatalogue).toStdString());
}

walkthrough::Script Administrator(const QString& answer = QStringLiteral("&Yes")) {
    walkthrough::Script script;
    script.login = walkthrough::Script::Credentials{QStringLiteral("ad"), QStringLiteral("1234")};
    script.answerQuestion = answer;
    return script;
}

// One test's world: a demo workshop, the catalogue place beside the test
// executable cleared, and the update host pointing at a port of the test.
struct World {
    testsupport::DemoWorkshop workshop;
    std::string catalogue = app::CataloguePath();
    std::optional<testsupport::ScopedEnv> host;
    std::optional<ScriptedServer> server;

    World() {
        std::remove(catalogue.c_str());
        platform::ClearMessageBoxAnswers();
        platform::TakeMessageBoxCalls();
    }
    ~World() { std::remove(catalogue.c_str()); }

    void pointAt(int port) { host.emplace("MMW_UPDATE_HOST", "127.0.0.1:" + std::to_string(port)); }
    // Starts the update server of this test and points the program at it.
    ScriptedServer& serve(Script script) {
        server.emplace(std::move(script));
        pointAt(server->port());
        return *server;
    }
    QString rows() const {
        return QStringLiteral("%1 %2 %3")
            .arg(workshop.scalar("select count(*) from MARKI"),
                 workshop.scalar("select count(*) from MODELE"),
                 workshop.scalar("select count(*) from WERSJE"));
    }
    QString marker() const {
        return workshop.scalar("select DATAWYK from UPGRADE where NAME = 'DBU_12062013'");
    }
    std::optional<QByteArray> file() const {
        if (!platform::FileExists(catalogue))
            return std::nullopt;
        return QByteArray::fromStdString(platform::ReadWholeFile(catalogue));
    }
};

// The program as start-up builds it, its main window shown, and the person
// at its keyboard.
struct Program {
    app::ApplicationForms forms;
    walkthrough::UserDriver person;

    explicit Program(walkthrough::Script script)
        : person(forms.Main(), forms.Login(), std::move(script)) {
        forms.Main().show();
    }
    TFMain& main() const { return forms.Main(); }
};

enum class Server { Replies, Refuses, ResetsMidBody };

} // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(std::optional<QByteArray>)

class UpdateRunTest : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data();
    void outcomes();
    void progressAndMarkerOfARealisticCatalogue();
    void cancelledLoginRunsNoGuard();
    void refusedLoginEndsTheRunSilently();
    void secondPressDuringARunStartsNothing();
    void secondRunAfterASuccessStopsAtTheGuard();
    void failingMarkerInsertKeepsTheCatalogue();
    void updateAddressFollowsTheEnvironment();
    void silentServerEndsTheDownloadAndKeepsTheFile();
};

void UpdateRunTest::outcomes_data() {
    QTest::addColumn<bool>("markerBefore");
    QTest::addColumn<bool>("lockHeld");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Server>("server");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<std::optional<QByteArray>>("earlier");
    QTest::addColumn<QStringList>("boxes"); // %1 stands for the catalogue path
    QTest::addColumn<QStringList>("waits");
    QTest::addColumn<bool>("markerAfter");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<std::optional<QByteArray>>("fileAfter");

    const std::optional<QByteArray> none;
    const QStringList bothWaits{kDownloadText, kImportText};
    const QString openError = QStringLiteral(
        "Uwaga|Wystąpił błąd podczas pobierania danych z serwera\nCannot open file %1\n|48");

    QTest::newRow("marker present: refusal, no question, no wait window")
        << true << false << "&Yes" << Server::Replies << Reply("200 OK", kSmallCatalogue) << none
        << QStringList{kOnce} << QStringList{} << true << "0 0 0" << none;
    QTest::newRow("another workstation holds the run")
        << false << true << "&Yes" << Server::Replies << Reply("200 OK", kSmallCatalogue) << none
        << QStringList{kLocked} << QStringList{} << false << "0 0 0" << none;
    QTest::newRow("No changes nothing")
        << false << false << "&No" << Server::Replies << Reply("200 OK", kSmallCatalogue) << none
        << QStringList{kQuestion} << QStringList{} << false << "0 0 0" << none;
    QTest::newRow("200: downloaded and imported")
        << false << false << "&Yes" << Server::Replies << Reply("200 OK", kSmallCatalogue) << none
        << QStringList{kQuestion, kSuccess} << bothWaits << true << "2 2 3"
        << std::optional(kSmallCatalogue);
    QTest::newRow("200 with an empty body completes")
        << false << false << "&Yes" << Server::Replies << Reply("200 OK", {})
        << std::optional(kEarlierCatalogue) << QStringList{kQuestion, kSuccess} << bothWaits << true
        << "0 0 0" << std::optional(QByteArray());
    QTest::newRow("unreachable server, no file: the open error")
        << false << false << "&Yes" << Server::Refuses << QByteArray() << none
        << QStringList{kQuestion, openError} << bothWaits << false << "0 0 0" << none;
    QTest::newRow("unreachable server, earlier file imported")
        << false << false << "&Yes" << Server::Refuses << QByteArray()
        << std::optional(kEarlierCatalogue) << QStringList{kQuestion, kSuccess} << bothWaits << true
        << "1 1 1" << std::optional(kEarlierCatalogue);
    QTest::newRow("404 leaves the earlier file, which is imported")
        << false << false << "&Yes" << Server::Replies
        << Reply("404 Not Found", "<html><body>Not found</body></html>")
        << std::optional(kEarlierCatalogue) << QStringList{kQuestion, kSuccess} << bothWaits << true
        << "1 1 1" << std::optional(kEarlierCatalogue);
    QTest::newRow("404 without a file: the open error")
        << false << false << "&Yes" << Server::Replies
        << Reply("404 Not Found", "<html><body>Not found</body></html>") << none
        << QStringList{kQuestion, openError} << bothWaits << false << "0 0 0" << none;
    QTest::newRow("body cut off by a reset leaves the earlier file")
        << false << false << "&Yes" << Server::ResetsMidBody << Reply("200 OK", kSmallCatalogue)
        << std::optional(kEarlierCatalogue) << QStringList{kQuestion, kSuccess} << bothWaits << true
        << "1 1 1" << std::optional(kEarlierCatalogue);
    QTest::newRow("body shorter than its Content-Length leaves the earlier file")
        << false << false << "&Yes" << Server::Replies
        << Reply("200 OK", kSmallCatalogue).chopped(20) << std::optional(kEarlierCatalogue)
        << QStringList{kQuestion, kSuccess} << bothWaits << true << "1 1 1"
        << std::optional(kEarlierCatalogue);
}

void UpdateRunTest::outcomes() {
    QFETCH(bool, markerBefore);
    QFETCH(bool, lockHeld);
    QFETCH(QString, answer);
    QFETCH(Server, server);
    QFETCH(QByteArray, reply);
    QFETCH(std::optional<QByteArray>, earlier);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, waits);
    QFETCH(bool, markerAfter);
    QFETCH(QString, rows);
    QFETCH(std::optional<QByteArray>, fileAfter);

    World world;
    if (markerBefore)
        world.workshop.exec(
            "insert into UPGRADE (NAME, DATAWYK) values ('DBU_12062013', '2013-06-12')");
    if (earlier)
        platform::WriteWholeFile(world.catalogue, earlier->toStdString());
    // Another workstation: a connection of its own to the same database.
    std::unique_ptr<db::Connection> otherWorkstation;
    if (lockHeld) {
        otherWorkstation = db::OpenConnection(
            testsupport::DemoWorkshop::kAliasName,
            db::EngineConfig::AliasParams(testsupport::DemoWorkshop::kAliasName));
        QVERIFY(otherWorkstation->TryLockRun());
    }

    Script script = Script().awaitRequest();
    if (server == Server::ResetsMidBody)
        script.send(reply.left(reply.size() - 30).toStdString()).pause(50).reset();
    else
        script.send(reply.toStdString()).close();
    const ScriptedServer& http = world.serve(script);
    const testsupport::PlainSocket refusing(false); // bound, never listening
    if (server == Server::Refuses)
        world.pointAt(refusing.port());

    Program program(Administrator(answer));
    program.person.PressStart();

    for (QString& box : boxes)
        box.replace(QStringLiteral("%1"), QString::fromStdString(world.catalogue));
    QCOMPARE(Boxes(), boxes);
    QCOMPARE(program.person.Texts(walkthrough::Sight::WaitText), waits);
    QVERIFY(!program.main().komunikat->getVisible());
    QCOMPARE(world.marker(), markerAfter ? QStringLiteral("2013-06-12") : QString());
    QCOMPARE(world.workshop.scalar("select count(*) from UPGRADE"),
             QString::number(markerAfter || markerBefore ? 1 : 0));
    QCOMPARE(world.rows(), rows);
    QCOMPARE(world.file(), fileAfter);
    // Only the download's temporary file could be left: nothing is.
    const QStringList leftovers =
        QDir(QString::fromStdString(platform::ExtractFileDir(world.catalogue)))
            .entryList({QStringLiteral("mmw.csv.*")});
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
    // The download asked for the catalogue, exactly once, when it ran.
    if (server != Server::Refuses && !waits.isEmpty())
        QVERIFY(QString::fromStdString(http.request())
                    .startsWith("GET /.kalvomer/.kalvomer.3.4/mmw.csv HTTP/1.0\r\n"));
    else
        QCOMPARE(http.connectionCount(), 0);
    QVERIFY(program.main().TPersonel->getActive());
    QVERIFY(program.main().Button1->isEnabled());
}

void UpdateRunTest::progressAndMarkerOfARealisticCatalogue() {
    World world;
    testsupport::TempDir dir;
    app::WriteDemoCatalogue(dir.file("mmw.csv"), 250);
    const QByteArray body = QByteArray::fromStdString(platform::ReadWholeFile(dir.file("mmw.csv")));
    world.serve(Script::Reply(Reply("200 OK", body).toStdString()));

    Program program(Administrator());
    program.person.PressStart();

    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));
    QCOMPARE(program.person.Texts(walkthrough::Sight::WaitText),
             (QStringList{kDownloadText, kImportText, kImportText + QStringLiteral("100 z 250"),
                          kImportText + QStringLiteral("200 z 250")}));
    QCOMPARE(world.marker(), QStringLiteral("2013-06-12"));
    // Every distinct make, model under its make and version under its model
    // became one row.
    QSet<QString> makes, models, versions;
    for (const QByteArray& line : body.split('\n')) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() < 4)
            continue;
        makes << fields[0];
        models << fields[0] + ';' + fields[1];
        versions << fields[0] + ';' + fields[1] + ';' + fields[3];
    }
    QCOMPARE(versions.size(), 249); // one line in 200 repeats the one before
    QCOMPARE(world.rows(),
             QStringLiteral("%1 %2 %3").arg(makes.size()).arg(models.size()).arg(versions.size()));
    QCOMPARE(world.file(), std::optional(body));
    // Query1 keeps the guard's select open; the work query is gone.
    QVERIFY(program.main().Query1->getActive());
    QCOMPARE(program.main().Query1->getSQL(),
             std::string("select * from UPGRADE where NAME = 'DBU_12062013'"));
}

void UpdateRunTest::cancelledLoginRunsNoGuard() {
    World world;
    const ScriptedServer& http = world.serve(SmallReply());
    Program program(walkthrough::Script{}); // presses "Anuluj"
    program.person.PressStart();

    QCOMPARE(program.person.LoginShowings(), 1);
    QCOMPARE(Boxes(), QStringList{});
    QVERIFY(!program.main().Query1->getActive());
    QCOMPARE(http.connectionCount(), 0);
    // The staff table was opened for the login, through session "Kalvomer".
    TFMain& form = program.main();
    QVERIFY(form.TPersonel->getActive());
    QVERIFY(form.Database1->getConnected());
    QVERIFY(form.TPersonel->FindKey(db::Value(std::string("AP"))));
    QCOMPARE(form.TPersonel->FieldByName("HASLO")->getAsString(), std::string("ADMIN"));
    QCOMPARE(form.TPersonel->getFieldCount(), 15);
}

void UpdateRunTest::refusedLoginEndsTheRunSilently() {
    World world;
    walkthrough::Script script;
    script.login = walkthrough::Script::Credentials{QStringLiteral("pr"), QStringLiteral("prac")};
    Program program(script);
    program.person.PressStart();
    // The dialog's own refusal, then the person cancels; the run says nothing.
    const QStringList boxes = Boxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].startsWith(QStringLiteral("Błąd|")));
    QVERIFY(!program.main().Query1->getActive());
}

void UpdateRunTest::secondPressDuringARunStartsNothing() {
    World world;
    world.serve(SmallReply());
    Program program(Administrator());
    bool disabledDuringRun = true;
    program.person.onWaitText = [&](const walkthrough::Sight&) {
        disabledDuringRun = disabledDuringRun && !program.main().Button1->isEnabled();
        program.person.ClickStartAgain();
        program.main().Button1Click(program.main().Button1); // however it arrives
    };
    program.person.PressStart();

    QVERIFY(disabledDuringRun);
    QCOMPARE(program.person.LoginShowings(), 1);
    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));
    QCOMPARE(world.server->connectionCount(), 1);
    QCOMPARE(world.rows(), QStringLiteral("2 2 3"));
    QVERIFY(program.main().Button1->isEnabled());
}

void UpdateRunTest::secondRunAfterASuccessStopsAtTheGuard() {
    World world;
    world.serve(SmallReply());
    Program program(Administrator());
    program.person.PressStart();
    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));
    program.person.PressStart();
    QCOMPARE(program.person.LoginShowings(), 2);
    QCOMPARE(Boxes(), QStringList{kOnce});
    QCOMPARE(world.rows(), QStringLiteral("2 2 3"));
    QCOMPARE(world.workshop.scalar("select count(*) from UPGRADE"), QStringLiteral("1"));
}

void UpdateRunTest::failingMarkerInsertKeepsTheCatalogue() {
    World world;
    world.workshop.refuseInserts("UPGRADE", "marker refused");
    world.serve(SmallReply());
    Program program(Administrator());
    program.person.PressStart();

    const QStringList boxes = Boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0], kQuestion);
    QVERIFY2(boxes[1].startsWith(QStringLiteral("Uwaga|Wystąpił wyjątek podczas konwersji "
                                                "danych.\nmarker refused")),
             qPrintable(boxes[1]));
    QVERIFY(boxes[1].endsWith(
        QStringLiteral("\nKonwersja danych będzie kontynuowana!\nNaciśnij OK!|48")));
    QVERIFY(!program.main().komunikat->getVisible());
    QCOMPARE(world.rows(), QStringLiteral("2 2 3"));
    QCOMPARE(world.workshop.scalar("select count(*) from UPGRADE"), QStringLiteral("0"));
}

void UpdateRunTest::updateAddressFollowsTheEnvironment() {
    {
        testsupport::ScopedEnv host("MMW_UPDATE_HOST", "updates.example:8080");
        QCOMPARE(app::UpdateAddress(),
                 std::string("http://updates.example:8080/.kalvomer/.kalvomer.3.4/mmw.csv"));
    }
    testsupport::ScopedEnv unset("MMW_UPDATE_HOST", std::nullopt);
    QVERIFY(!app::UpdateHost().empty());
    QCOMPARE(app::UpdateAddress(), "http://" + app::UpdateHost() + app::kUpdatePath);
}

void UpdateRunTest::silentServerEndsTheDownloadAndKeepsTheFile() {
    testsupport::TempDir dir;
    const std::string target = dir.file("mmw.csv");
    platform::WriteWholeFile(target, kEarlierCatalogue.toStdString());
    ScriptedServer http(Script().awaitRequest().send("HTTP/1.0 200 OK\r\n").silence());
    QVERIFY_THROWS_EXCEPTION(
        std::exception,
        app::DownloadCatalogue("http://127.0.0.1:" + std::to_string(http.port()) + "/mmw.csv",
                               target, 300));
    QCOMPARE(QByteArray::fromStdString(platform::ReadWholeFile(target)), kEarlierCatalogue);
    QCOMPARE(QDir(QString::fromStdString(dir.file(""))).entryList(QDir::Files),
             QStringList{QStringLiteral("mmw.csv")});
}

QTEST_MAIN(UpdateRunTest)
#include "UpdateRunTest.moc"
