// The update run end to end: the real windows driven as a person would,
// against a real demo database and a scripted HTTP server on loopback.

#include "app/ApplicationForms.h"
#include "app/CatalogueDownload.h"
#include "app/CatalogueFile.h"
#include "app/DemoCatalogue.h"
#include "app/Main.h"
#include "db/Connection.h"
#include "db/EngineConfig.h"
#include "db/SqliteConnection.h"
#include "db/StatementTrace.h"
#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "db/TTable.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "tests/support/PlainSocket.h"
#include "tests/support/ReadOnlyPath.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "waitmessage/Waitmessage.h"
#include "walkthrough/UserDriver.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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

    explicit World(testsupport::Driver driver = testsupport::DemoWorkshop::SuiteDriver())
        : workshop(driver) {
        platform::DeleteFile(catalogue);
        platform::ClearMessageBoxAnswers();
        platform::TakeMessageBoxCalls();
    }
    ~World() {
        platform::DeleteFile(catalogue);
        platform::ClearTerminated();
    }

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

// "makes models versions" that merging the first lineCount lines of a
// catalogue makes: every distinct make, model under its make and version
// under its model is one row.
QString DistinctRows(const QByteArray& body, int lineCount) {
    QSet<QString> makes, models, versions;
    const QList<QByteArray> lines = body.split('\n');
    for (int i = 0; i < lineCount && i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(';');
        if (fields.size() < 4)
            continue;
        makes << fields[0];
        models << fields[0] + ';' + fields[1];
        versions << fields[0] + ';' + fields[1] + ';' + fields[3];
    }
    return QStringLiteral("%1 %2 %3").arg(makes.size()).arg(models.size()).arg(versions.size());
}

// A demo catalogue of lineCount lines, as the update server sends it.
QByteArray DemoCatalogue(int lineCount) {
    testsupport::TempDir dir;
    app::WriteDemoCatalogue(dir.file("mmw.csv"), lineCount);
    return QByteArray::fromStdString(platform::ReadWholeFile(dir.file("mmw.csv")));
}

enum class Server { Replies, Refuses, ResetsMidBody };
enum class CloseAt { Download, Import };

// The process's umask for as long as it lives.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : FOld(::umask(mask)) {}
    ~ScopedUmask() { ::umask(FOld); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t FOld;
};

} // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(CloseAt)
Q_DECLARE_METATYPE(std::optional<QByteArray>)
Q_DECLARE_METATYPE(testsupport::Script)

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
    void diskFullAtTheMarker();
    void readOnlyRunThenWritableRun();
    void updateAddressFollowsTheEnvironment();
    void silentServerEndsTheDownloadAndKeepsTheFile();
    void tooSlowATransferIsGivenUpOn_data();
    void tooSlowATransferIsGivenUpOn();
    void stalePartFilesOfTheTargetAreRemoved();
    void catalogueGetsTheModeOfAnyWrittenFile_data();
    void catalogueGetsTheModeOfAnyWrittenFile();
    void startKeyAfterARunStartsTheNextTry_data();
    void startKeyAfterARunStartsTheNextTry();
    void closingTheMainWindowEndsTheProgram_data();
    void closingTheMainWindowEndsTheProgram();
    void runInDirectoriesWithPolishNames();
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
        box.replace(QStringLiteral("%1"),
                    QCoreApplication::applicationDirPath() + QStringLiteral("/mmw.csv"));
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
        QDir(platform::ToQString(platform::ExtractFileDir(world.catalogue)))
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
    const QByteArray body = DemoCatalogue(250);
    world.serve(Script::Reply(Reply("200 OK", body).toStdString()));

    Program program(Administrator());
    program.person.PressStart();

    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));
    QCOMPARE(program.person.Texts(walkthrough::Sight::WaitText),
             (QStringList{kDownloadText, kImportText, kImportText + QStringLiteral("100 z 250"),
                          kImportText + QStringLiteral("200 z 250")}));
    QCOMPARE(world.marker(), QStringLiteral("2013-06-12"));
    QVERIFY(DistinctRows(body, 250).endsWith(" 249")); // one line in 200 repeats the one before
    QCOMPARE(world.rows(), DistinctRows(body, 250));
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

void UpdateRunTest::diskFullAtTheMarker() {
    // A real full disk: a small memory file system holding the database,
    // filled up as the marker's insert is about to run.
    if (::geteuid() != 0)
        QSKIP("mounting a small file system for a full disk needs root; not run as root");
    testsupport::TempDir mountPoint;
    const std::string systemMountPoint = platform::SystemPath(mountPoint.path());
    QCOMPARE(::mount("tmpfs", systemMountPoint.c_str(), "tmpfs", 0, "size=8m"), 0);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{systemMountPoint};
    std::optional<World> world;
    {
        const testsupport::ScopedEnv onSmallDisk("TMPDIR", mountPoint.path());
        // The database file itself is what the disk holds: SQLite,
        // whichever driver the suite runs on.
        world.emplace(testsupport::Driver::Sqlite);
    }
    QVERIFY(world->workshop.databaseDir().rfind(mountPoint.path(), 0) == 0);
    testsupport::TempDir dir;
    app::WriteDemoCatalogue(dir.file("mmw.csv"), 3000);
    world->serve(Script::Reply(
        Reply("200 OK", QByteArray::fromStdString(platform::ReadWholeFile(dir.file("mmw.csv"))))
            .toStdString()));

    const std::string filler = mountPoint.path() + "/filler";
    const db::StatementObserver previous = db::SetStatementObserver([&](const std::string& sql) {
        if (sql.rfind("insert into UPGRADE", 0) != 0)
            return;
        std::FILE* file = platform::FileOpenStream(filler, "wb");
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
               std::fflush(file) == 0) {
        }
        std::fclose(file);
    });
    {
        Program program(Administrator());
        program.person.PressStart();
        db::SetStatementObserver(previous);
        QVERIFY(platform::FileExists(filler));
        // Either the marker is in the file and the success box showed, or
        // neither.
        const QStringList boxes = Boxes();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.last() == kSuccess, world->marker() == QStringLiteral("2013-06-12"));
    }
    // With room again, a run repeats the update unless the marker is there.
    const bool marked = !world->marker().isNull();
    platform::DeleteFile(filler);
    Program again(Administrator());
    again.person.PressStart();
    QCOMPARE(Boxes(), marked ? QStringList{kOnce} : (QStringList{kQuestion, kSuccess}));
    QCOMPARE(world->marker(), QStringLiteral("2013-06-12"));
}

void UpdateRunTest::readOnlyRunThenWritableRun() {
    // A read-only database file: SQLite, whichever driver the suite runs on.
    World world(testsupport::Driver::Sqlite);
    world.serve(SmallReply());
    {
        testsupport::ReadOnlyPath readOnly(world.workshop.databaseDir());
        Program program(Administrator());
        program.person.PressStart();
        const QStringList boxes = Boxes();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains(QString::fromStdString(world.workshop.tablesFile())) &&
                     boxes[0].contains(QStringLiteral("read-only")),
                 qPrintable(boxes[0]));
    }
    // Nothing of the failed attempt outlives the cause.
    Program program(Administrator());
    program.person.PressStart();
    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));
    QCOMPARE(world.rows(), QStringLiteral("2 2 3"));
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
                               target, app::DownloadLimits{300}));
    QCOMPARE(QByteArray::fromStdString(platform::ReadWholeFile(target)), kEarlierCatalogue);
    QCOMPARE(QDir(platform::ToQString(dir.path())).entryList(QDir::Files),
             QStringList{QStringLiteral("mmw.csv")});
}

// A byte every 100 ms keeps a time-out of 5 s from ever firing; with the
// rate averaged over 1 s instead of 60 s, 10 bytes per second are below the
// floor of 64 whether they trickle in the header or in the body.
void UpdateRunTest::tooSlowATransferIsGivenUpOn_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<bool>("givenUp");
    QTest::addColumn<QByteArray>("fileAfter");

    const QByteArray body(40, 'b');
    const QByteArray reply = Reply("200 OK", body);
    Script header = Script().awaitRequest();
    for (const char byte : reply)
        header.send(std::string(1, byte)).pause(100);
    QTest::newRow("header trickles") << header.close() << true << kEarlierCatalogue;

    const QByteArray head = reply.chopped(body.size());
    Script trickle = Script().awaitRequest().send(head.toStdString());
    for (const char byte : body)
        trickle.send(std::string(1, byte)).pause(100);
    QTest::newRow("body trickles") << trickle.close() << true << kEarlierCatalogue;

    // 100 bytes every 50 ms for longer than the window: well above the floor.
    const QByteArray steadyBody(3000, 's');
    Script steady = Script().awaitRequest().send(
        Reply("200 OK", steadyBody).chopped(steadyBody.size()).toStdString());
    for (qsizetype sent = 0; sent < steadyBody.size(); sent += 100)
        steady.send(steadyBody.mid(sent, 100).toStdString()).pause(50);
    QTest::newRow("steady above the floor") << steady.close() << false << steadyBody;
}

void UpdateRunTest::tooSlowATransferIsGivenUpOn() {
    QFETCH(Script, script);
    QFETCH(bool, givenUp);
    QFETCH(QByteArray, fileAfter);
    testsupport::TempDir dir;
    const std::string target = dir.file("mmw.csv");
    platform::WriteWholeFile(target, kEarlierCatalogue.toStdString());
    ScriptedServer http(script);
    const std::string url = "http://127.0.0.1:" + std::to_string(http.port()) + "/mmw.csv";
    const bool raised = [&] {
        try {
            app::DownloadCatalogue(url, target, app::DownloadLimits{5000, 1000, 64});
            return false;
        } catch (const std::exception&) {
            return true;
        }
    }();
    QCOMPARE(raised, givenUp);
    QCOMPARE(QByteArray::fromStdString(platform::ReadWholeFile(target)), fileAfter);
    QCOMPARE(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files),
             QStringList{QStringLiteral("mmw.csv")});
}

void UpdateRunTest::stalePartFilesOfTheTargetAreRemoved() {
    testsupport::TempDir dir;
    const auto hoursAgo = [](int hours) {
        return std::filesystem::file_time_type::clock::now() - std::chrono::hours(hours);
    };
    // name, hours since it was last written
    const std::vector<std::pair<std::string, int>> files{
        {"mmw.csv", 2},         {"mmw.csv.Ab12Cd", 2}, {"mmw.csv.Xy34Zw", 0},  {"mmw.csv.old", 2},
        {"mmw.csv.Ab12Cde", 2}, {"mmw.csv.Ab-2Cd", 2}, {"other.csv.Ab12Cd", 2}};
    for (const auto& [name, hours] : files) {
        platform::WriteWholeFile(dir.file(name), name);
        std::filesystem::last_write_time(dir.file(name), hoursAgo(hours));
    }
    std::filesystem::create_directory(dir.file("mmw.csv.Dir123"));
    std::filesystem::last_write_time(dir.file("mmw.csv.Dir123"), hoursAgo(2));

    // The clean-up comes before the download, which here fails.
    testsupport::PlainSocket refusing(false);
    QVERIFY_THROWS_EXCEPTION(
        std::exception,
        app::DownloadCatalogue("http://127.0.0.1:" + std::to_string(refusing.port()) + "/mmw.csv",
                               dir.file("mmw.csv")));
    QCOMPARE(QDir(QString::fromStdString(dir.path()))
                 .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"mmw.csv", "mmw.csv.Ab-2Cd", "mmw.csv.Ab12Cde", "mmw.csv.Dir123",
                          "mmw.csv.Xy34Zw", "mmw.csv.old", "other.csv.Ab12Cd"}));
    QCOMPARE(platform::ReadWholeFile(dir.file("mmw.csv")), std::string("mmw.csv"));
}

void UpdateRunTest::catalogueGetsTheModeOfAnyWrittenFile_data() {
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");
    QTest::newRow("022") << 022 << 0644;
    QTest::newRow("007") << 007 << 0660;
}

void UpdateRunTest::catalogueGetsTheModeOfAnyWrittenFile() {
    QFETCH(int, umask);
    QFETCH(int, mode);
    testsupport::TempDir dir;
    const std::string target = dir.file("mmw.csv");
    ScriptedServer http(SmallReply());
    {
        const ScopedUmask scoped(static_cast<mode_t>(umask));
        app::DownloadCatalogue("http://127.0.0.1:" + std::to_string(http.port()) + "/mmw.csv",
                               target);
    }
    struct stat status {};
    QCOMPARE(::stat(target.c_str(), &status), 0);
    QCOMPARE(static_cast<int>(status.st_mode & 07777), mode);
    QCOMPARE(QByteArray::fromStdString(platform::ReadWholeFile(target)), kSmallCatalogue);
}

void UpdateRunTest::startKeyAfterARunStartsTheNextTry_data() {
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("Space") << Qt::Key_Space;
    QTest::newRow("Return") << Qt::Key_Return;
    QTest::newRow("Enter") << Qt::Key_Enter;
}

void UpdateRunTest::startKeyAfterARunStartsTheNextTry() {
    QFETCH(Qt::Key, key);
    World world;
    world.serve(SmallReply());
    Program program(Administrator());
    // The window is active when the person presses the button, so the
    // button has the focus while the run turns it off.
    program.main().activateWindow();
    QTRY_VERIFY(program.main().isActiveWindow());
    program.person.PressStart();
    QCOMPARE(Boxes(), (QStringList{kQuestion, kSuccess}));

    // The window's focus is on the button again, so the key typed in the
    // main window starts the next try: the login, then the guard's refusal.
    QCOMPARE(program.main().focusWidget(), program.main().Button1);
    program.main().activateWindow();
    QTRY_VERIFY(program.main().isActiveWindow());
    program.person.PressKey(key);
    QCOMPARE(program.person.LoginShowings(), 2);
    QCOMPARE(Boxes(), QStringList{kOnce});
}

void UpdateRunTest::closingTheMainWindowEndsTheProgram_data() {
    QTest::addColumn<CloseAt>("closeAt");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QStringList>("waits");
    const QByteArray catalogue = DemoCatalogue(250);
    QTest::newRow("while the server stalls in the body")
        << CloseAt::Download << "0 0 0" << QStringList{kDownloadText};
    // The person closes the window as the count reaches line 100: lines 1
    // to 99 are in, nothing after them.
    QTest::newRow("in the middle of the import")
        << CloseAt::Import << DistinctRows(catalogue, 99)
        << QStringList{kDownloadText, kImportText, kImportText + QStringLiteral("100 z 250")};
}

void UpdateRunTest::closingTheMainWindowEndsTheProgram() {
    QFETCH(CloseAt, closeAt);
    QFETCH(QString, rows);
    QFETCH(QStringList, waits);

    World world;
    const QByteArray catalogue = DemoCatalogue(250);
    if (closeAt == CloseAt::Download) {
        platform::WriteWholeFile(world.catalogue, kEarlierCatalogue.toStdString());
        world.serve(Script()
                        .awaitRequest()
                        .send(Reply("200 OK", catalogue).left(2000).toStdString())
                        .silence());
    } else {
        world.serve(Script::Reply(Reply("200 OK", catalogue).toStdString()));
    }

    Program program(Administrator());
    // The close box is pressed while the download waits for the rest of the
    // body (the request is in), or when the import shows its first count.
    QTimer watch;
    watch.setInterval(10);
    connect(&watch, &QTimer::timeout, &program.main(), [&] {
        if (!world.server->request().empty())
            program.main().close();
    });
    program.person.onWaitText = [&](const walkthrough::Sight& sight) {
        if (closeAt == CloseAt::Download && sight.text == kDownloadText)
            watch.start();
        if (closeAt == CloseAt::Import && sight.text.contains(QStringLiteral(" z ")))
            program.main().close();
    };

    // The message loop runs as start-up runs it, and must return by itself.
    // Should it not, the guard ends it with another code instead of letting
    // the suite hang.
    QTimer::singleShot(0, &program.main(), [&] { program.person.PressStart(); });
    QTimer::singleShot(120000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);

    QVERIFY(platform::Terminated());
    QVERIFY(!program.main().isVisible());
    QVERIFY(!program.main().komunikat->getVisible());
    QCOMPARE(program.person.Texts(walkthrough::Sight::WaitText), waits);
    QCOMPARE(Boxes(), QStringList{kQuestion}); // and no box after the close
    QCOMPARE(world.marker(), QString());
    QCOMPARE(world.rows(), rows);
    if (closeAt == CloseAt::Download)
        QCOMPARE(world.file(), std::optional(kEarlierCatalogue));
    const QStringList leftovers =
        QDir(platform::ToQString(platform::ExtractFileDir(world.catalogue)))
            .entryList({QStringLiteral("mmw.csv.*")});
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
}

void UpdateRunTest::runInDirectoriesWithPolishNames() {
    // The test plays the runs above once more as a copy of itself, so that
    // the program's directory is named in Polish; its temporary files, the
    // test's database and the session's private directory among them, go
    // under another such directory.
    constexpr const char* kInPolishDirectories = "MMW_TEST_IN_POLISH_DIRECTORIES";
    if (qEnvironmentVariableIsSet(kInPolishDirectories))
        QSKIP("this is the copy in the Polish directories");
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString programDir = root.filePath(QString::fromUtf8("Łódź/program żółwia"));
    const QString dataDir = root.filePath(QString::fromUtf8("Łódź/dane"));
    QVERIFY(QDir().mkpath(programDir) && QDir().mkpath(dataDir));
    const QString copy =
        programDir + '/' + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), dataDir);
    environment.insert(QString::fromLatin1(kInPolishDirectories), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(copy, {QStringLiteral("outcomes"),
                       QStringLiteral("progressAndMarkerOfARealisticCatalogue"),
                       QStringLiteral("closingTheMainWindowEndsTheProgram")});
    QVERIFY(child.waitForFinished(240000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             output.constData());
    QVERIFY2(output.contains(" 0 failed, 0 skipped"), output.constData());
}

QTEST_MAIN(UpdateRunTest)
#include "UpdateRunTest.moc"
