// The main window: its design, the alias path and the session directories
// prepared when it is shown, the decimal separator, and an engine failure of
// the button reaching the standard exception display.

#include "app/Main.h"
#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "db/TSession.h"
#include "db/TTable.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/FormatSettings.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "tests/support/TempDir.h"
#include "waitmessage/Waitmessage.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <clocale>
#include <cstdio>
#include <memory>

using namespace platform;

namespace {

// An alias file of the test's own, named by DBENGINE_CONFIG while it lives.
struct AliasFile {
    testsupport::TempDir dir;
    testsupport::ScopedEnv env;
    explicit AliasFile(const std::string& body) : env("DBENGINE_CONFIG", dir.file("aliases.ini")) {
        WriteWholeFile(dir.file("aliases.ini"), body);
    }
};

} // namespace

class MainTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        ClearMessageBoxAnswers();
        TakeMessageBoxCalls();
    }

    void windowDesign() {
        AliasFile alias("[ZIRKONAL_KALVOMER_3]\nPATH=/nowhere\n");
        TFMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.windowTitle(), QString("Pobranie i wczytanie  marek modeli i wersji"));
        QCOMPARE(form.size(), QSize(544, 142));
        QCOMPARE(form.minimumSize(), form.maximumSize()); // cannot be resized
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(form.font().pixelSize(), 13);
        QCOMPARE(form.font().family(), QString("MS Sans Serif"));
        const QRect screen = form.screen()->geometry();
        QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);

        QCOMPARE(form.Label1->pos(), QPoint(24, 16));
        QCOMPARE(form.Label1->height(), 20);
        QVERIFY(form.Label1->width() >= 315); // grows with a wider substitute font
        QVERIFY(form.Label1->width() >=
                form.Label1->fontMetrics().horizontalAdvance(form.Label1->text()));
        QCOMPARE(form.Label1->text(), form.windowTitle());
        QCOMPARE(form.Label1->font().pixelSize(), 17);
        QCOMPARE(form.Button1->geometry(), QRect(80, 103, 385, 25));
        QCOMPARE(form.Button1->text(), QString("Rozpocznij"));
        QVERIFY(form.Button1->hasFocus());

        // Created in the described order, all owned by the window.
        QStringList names;
        for (QObject* child : form.children())
            if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_"))
                names << child->objectName();
        QCOMPARE(names, (QStringList{"Label1", "Button1", "Session1", "Database1", "komunikat",
                                     "Query1", "TPersonel"}));

        QCOMPARE(form.Session1->getSessionName(), std::string("Kalvomer"));
        QVERIFY(!form.Session1->getKeepConnections());
        QCOMPARE(form.Database1->getAliasName(), std::string("ZIRKONAL_KALVOMER_3"));
        QCOMPARE(form.Database1->getDatabaseName(), std::string("KALVOMER"));
        QVERIFY(!form.Database1->getKeepConnection());
        QVERIFY(!form.Database1->getLoginPrompt());
        QCOMPARE(form.Database1->getTransIsolation(), db::tiDirtyRead);
        QCOMPARE(form.Query1->getDatabaseName(), std::string("Kalvomer"));
        QCOMPARE(form.TPersonel->getTableName(), std::string("Personel.DB"));
        QCOMPARE(form.komunikat->getColor(), 12442557);
        QCOMPARE(form.komunikat->getMessage(), std::string("Czekaj cierpliwie ..."));
        QCOMPARE(form.komunikat->getCursor(), crHourGlass);
        QCOMPARE(form.komunikat->getPosition(), poScreenCenter);
        QVERIFY(!form.komunikat->getVisible());
        QVERIFY(!form.Session1->getActive());
    }

    void buttonKeepsItsAnchors() {
        AliasFile alias("[ZIRKONAL_KALVOMER_3]\nPATH=/nowhere\n");
        TFMain form;
        form.show();
        form.setFixedSize(644, 182);
        QCOMPARE(form.Button1->geometry(), QRect(80, 143, 485, 25));
    }

    void aliasPathAndNetDir_data() {
        QTest::addColumn<QString>("aliases");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "[ZIRKONAL_KALVOMER_3]\nTYPE=STANDARD\nPATH=/dane\n"
                               << "/dane";
        QTest::newRow("equals in value") << "[ZIRKONAL_KALVOMER_3]\nPATH=/a=b\n"
                                         << "/a=b";
        QTest::newRow("first PATH wins") << "[ZIRKONAL_KALVOMER_3]\nPATH=/one\nPATH=/two\n"
                                         << "/one";
        QTest::newRow("other case") << "[ZIRKONAL_KALVOMER_3]\nPath=/dane\n"
                                    << "";
        QTest::newRow("no PATH") << "[ZIRKONAL_KALVOMER_3]\nTYPE=STANDARD\n"
                                 << "";
        QTest::newRow("other alias") << "[OTHER]\nPATH=/x\n[ZIRKONAL_KALVOMER_3]\nPATH=/y\n"
                                     << "/y";
        QTest::newRow("Polish letters, written in UTF-8")
            << QString::fromUtf8("[ZIRKONAL_KALVOMER_3]\nPATH=/Łódź/dane\n")
            << QString::fromUtf8("/Łódź/dane");
    }
    void aliasPathAndNetDir() {
        QFETCH(QString, aliases);
        QFETCH(QString, path);
        AliasFile alias(aliases.toStdString());
        QCOMPARE(ToQString(TFMain::GetAliasPath("ZIRKONAL_KALVOMER_3")), path);
        TFMain form;
        form.show();
        QCOMPARE(ToQString(form.Session1->getNetFileDir()), path + "/NetDir");
        QVERIFY(TakeMessageBoxCalls().empty());
    }

    void privateDirInTemporaryDirectory() {
        AliasFile alias("[ZIRKONAL_KALVOMER_3]\nPATH=/dane\n");
        testsupport::TempDir tmp;
        testsupport::ScopedEnv env("TMPDIR", tmp.path());
        const std::string expected = tmp.path() + "//mmw";
        for (int run = 0; run < 2; ++run) { // created once, then reused
            TFMain form;
            form.show();
            QCOMPARE(form.Session1->getPrivateDir(), expected);
            QVERIFY(DirectoryExists(tmp.path() + "/mmw"));
            QVERIFY(TakeMessageBoxCalls().empty());
        }
    }

    void unknownAliasIsShownAndTheWindowOpens() {
        AliasFile alias("[SOMETHING_ELSE]\nPATH=/x\n");
        PushMessageBoxAnswer(IDOK);
        TFMain form;
        form.show();
        QVERIFY(form.isVisible());
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QVERIFY(calls[0].text.find("ZIRKONAL_KALVOMER_3") != std::string::npos);
        QCOMPARE(calls[0].text.back(), '.');
        QCOMPARE(calls[0].caption, ApplicationTitle());
        QCOMPARE(calls[0].flags, 16);
        // The steps after the failing one did not run.
        QCOMPARE(form.Session1->getNetFileDir(), std::string());
        QCOMPARE(form.Session1->getPrivateDir(), std::string("./"));
    }

    void decimalSeparatorUnderCommaLocale() {
        // A locale with a decimal comma, compiled for this test when the
        // system has its definition.
        testsupport::TempDir locales;
        const std::string cmd =
            "localedef -i pl_PL -f UTF-8 " + locales.file("pl_PL.UTF-8") + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            QSKIP("no pl_PL locale definition on this machine");
        testsupport::ScopedEnv locpath("LOCPATH", locales.path());
        QVERIFY(std::setlocale(LC_NUMERIC, "pl_PL.UTF-8"));
        char buf[16];
        std::snprintf(buf, sizeof buf, "%g", 2.5);
        QCOMPARE(std::string(buf), std::string("2,5")); // the locale really has a comma
        SetDecimalSeparator(',');

        AliasFile alias("[ZIRKONAL_KALVOMER_3]\nPATH=/dane\n");
        TFMain form;
        QCOMPARE(FloatToStr(2.5), std::string("2.5"));
        std::snprintf(buf, sizeof buf, "%g", 2.5);
        QCOMPARE(std::string(buf), std::string("2.5"));
        std::setlocale(LC_NUMERIC, "C");
    }

    void buttonErrorReachesTheStandardDisplay() {
        AliasFile alias("[ZIRKONAL_KALVOMER_3]\nPATH=/nowhere/at/all\n");
        TFMain form;
        form.show();
        PushMessageBoxAnswer(IDOK);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QVERIFY(calls[0].text.find("/nowhere/at/all/tables.sqlite") != std::string::npos);
        QCOMPARE(calls[0].flags, 16);
        QVERIFY(form.isVisible());
    }
};

QTEST_MAIN(MainTest)
#include "MainTest.moc"
