// The catalogue import against a real demo database, through the same
// components the update run uses: the main window's connection and a work
// query bound to its database and session names.

#include "app/CatalogueImport.h"
#include "app/Main.h"
#include "db/StatementTrace.h"
#include "db/TDatabase.h"
#include "db/TQuery.h"
#include "db/TTable.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"
#include "waitmessage/Waitmessage.h"

#include <QtTest>

#include <memory>

using namespace platform;

namespace {

// One import run's surroundings, and every statement it sends.
struct Run {
    testsupport::DemoWorkshop workshop;
    TFMain form;
    db::TQuery work;
    std::vector<std::string> statements;
    std::vector<std::string> messages; // the wait window's text at each statement
    db::StatementObserver previous;

    Run() {
        form.TPersonel->Open(); // holds the connection, as the update run does
        work.setDatabaseName(form.Database1->getDatabaseName());
        work.setSessionName(form.Database1->getSessionName());
        form.komunikat->setMessage(Pl("Wczytuje marki, modele i werjse\n"));
        previous = db::SetStatementObserver([this](const std::string& sql) {
            statements.push_back(sql);
            messages.push_back(form.komunikat->getMessage());
        });
    }
    ~Run() { db::SetStatementObserver(previous); }

    bool import(const std::string& csv) {
        WriteWholeFile(workshop.file("mmw.csv"), csv);
        statements.clear();
        messages.clear();
        app::TCatalogueImport import(work, form.komunikat);
        return import.Run(workshop.file("mmw.csv"));
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& s : statements)
            n += s.rfind(prefix, 0) == 0;
        return n;
    }
    int rows(const char* table) const {
        return workshop.scalar(std::string("select count(*) from ") + table).toInt();
    }
};

} // namespace

class CatalogueImportTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        ClearMessageBoxAnswers();
        TakeMessageBoxCalls();
    }

    void workedStatementsForTheExampleLine() {
        Run run;
        QVERIFY(run.import("AUDI;A4;11.94-10.01;1.8 T;03.96-10.01;150/110;x;1781;\r\n"));
        const std::vector<std::string> expected = {
            "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'AUDI'",
            "select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0",
            "insert into MARKI (RDZPOJ, MARKA, NAZWA) VALUES (0, -1, 'AUDI')",
            "select MODEL from MODELE where RDZPOJ = 0 and MARKA = -1 and upper(NAZWA) = 'A4'",
            "select min(MODEL) MIN_MODEL from MODELE where RDZPOJ = 0",
            "insert into MODELE (RDZPOJ, MARKA, MODEL, NAZWA, PROD_OD, PROD_DO) VALUES (0, -1, "
            "-1,'A4','1994.11','2001.10')",
            "select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = -1 and upper(NAZWA) = '1.8 T'",
            "select min(WERSJA) MIN_WERSJA from WERSJE where RDZPOJ = 0",
            "insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, "
            "POJ_TAX, MOC_KW, MOC_KM) VALUES (0, -1, -1,'1.8 T','1996.03','2001.10',1781,1781,"
            "110,150)",
        };
        QCOMPARE(run.statements, expected);
        QCOMPARE(run.workshop.rows("select MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, "
                                   "POJ_TAX, MOC_KW, MOC_KM from WERSJE"),
                 (QList<QStringList>{
                     {"-1", "-1", "1.8 T", "1996.03", "2001.10", "1781", "1781", "110", "150"}}));
        QVERIFY(TakeMessageBoxCalls().empty());
    }

    void progressEveryHundredLines_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("progress");
        QTest::newRow("250") << 250 << QStringList{"100 z 250", "200 z 250"};
        QTest::newRow("99") << 99 << QStringList{};
    }
    void progressEveryHundredLines() {
        QFETCH(int, lines);
        QFETCH(QStringList, progress);
        std::string csv;
        for (int i = 1; i <= lines; ++i)
            csv += "AUDI;A4;;V" + std::to_string(i) + ";;;;;\n";
        Run run;
        QVERIFY(run.import(csv));
        const std::string base = Pl("Wczytuje marki, modele i werjse\n");
        QStringList seen;
        for (std::size_t i = 0; i < run.messages.size(); ++i) {
            const std::string& m = run.messages[i];
            if (m == base || (i > 0 && m == run.messages[i - 1]))
                continue;
            QCOMPARE(m.substr(0, base.size()), base);
            seen << QString::fromStdString(m.substr(base.size()));
            // Shown before its line is merged: the next statement is that
            // line's version lookup.
            const std::string line = std::to_string(std::stoi(m.substr(base.size())));
            QVERIFY(run.statements[i].find("'V" + line + "'") != std::string::npos);
        }
        QCOMPARE(seen, progress);
    }

    void importMemory_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QList<int>>("lookups"); // make, model, version selects
        QTest::addColumn<QList<int>>("rows");    // MARKI, MODELE, WERSJE
        QTest::newRow("one make and model, three versions")
            << ""
            << "AUDI;A4;;1.8;;;;;\nAUDI;A4;;1.9;;;;;\nAUDI;A4;;2.0;;;;;\n"
            << QList<int>{1, 1, 3} << QList<int>{1, 1, 3};
        QTest::newRow("repeated line runs nothing") << ""
                                                    << "AUDI;A4;;1.8;;;;;\nAUDI;A4;;1.8;;;;;\n"
                                                    << QList<int>{1, 1, 1} << QList<int>{1, 1, 1};
        QTest::newRow("Audi then AUDI") << ""
                                        << "Audi;A4;;1.8;;;;;\nAUDI;A4;;1.8;;;;;\n"
                                        << QList<int>{2, 2, 2} << QList<int>{1, 1, 1};
        QTest::newRow("A4 then A6 clears the version")
            << ""
            << "AUDI;A4;;1.8;;;;;\nAUDI;A6;;1.8;;;;;\n"
            << QList<int>{1, 2, 2} << QList<int>{1, 2, 2};
        QTest::newRow("found make clears the model") << "insert into MARKI values (0, 7, 'BMW')"
                                                     << "AUDI;X1;;V;;;;;\nBMW;X1;;V;;;;;\n"
                                                     << QList<int>{2, 2, 2} << QList<int>{2, 2, 2};
        QTest::newRow("lower-case rows are found")
            << "insert into MARKI values (0, 7, 'Audi'); insert into MODELE values (0, 7, 3, "
               "'a4', '', ''); insert into WERSJE values (0, 3, 9, '1.8 t', '', '', 0, 0, 0, 0)"
            << "AUDI;A4;;1.8 T;;;;;\n"
            << QList<int>{1, 1, 1} << QList<int>{1, 1, 1};
        QTest::newRow("rows of another kind are not found")
            << "insert into MARKI values (1, 7, 'AUDI')"
            << "AUDI;A4;;1.8;;;;;\n"
            << QList<int>{1, 1, 1} << QList<int>{2, 1, 1};
        QTest::newRow("lines without a make are skipped")
            << ""
            << "\n;A4;;1.8;;;;;\nAUDI;A4;;1.8;;;;;\n\nAUDI;A4;;1.8;;;;;\n"
            << QList<int>{1, 1, 1} << QList<int>{1, 1, 1};
    }
    void importMemory() {
        QFETCH(QString, setup);
        QFETCH(QString, csv);
        QFETCH(QList<int>, lookups);
        QFETCH(QList<int>, rows);
        Run run;
        if (!setup.isEmpty())
            run.workshop.exec(setup.toStdString());
        QVERIFY(run.import(csv.toStdString()));
        QCOMPARE((QList<int>{run.count("select MARKA "), run.count("select MODEL "),
                             run.count("select WERSJA ")}),
                 lookups);
        QCOMPARE((QList<int>{run.rows("MARKI"), run.rows("MODELE"), run.rows("WERSJE")}), rows);
    }

    void newKeysBelowTheSmallestOfKindZero() {
        Run run;
        std::string setup;
        for (int key = 1; key <= 50; ++key)
            setup += "insert into MARKI values (0, " + std::to_string(key) + ", 'M" +
                     std::to_string(key) + "');";
        // Another kind's keys do not count; the smallest model key is taken
        // over the whole table, not under the model's make.
        setup += "insert into MARKI values (1, -100, 'OTHER');"
                 "insert into MODELE values (0, 50, -7, 'X', '', '');";
        run.workshop.exec(setup);
        QVERIFY(run.import("NEW1;A;;V;;;;;\nNEW2;B;;W;;;;;\n"));
        QCOMPARE(run.workshop.rows("select MARKA, NAZWA from MARKI where MARKA <= 0 and RDZPOJ = 0 "
                                   "order by MARKA desc"),
                 (QList<QStringList>{{"0", "NEW1"}, {"-1", "NEW2"}}));
        QCOMPARE(run.workshop.rows("select MARKA, MODEL from MODELE where NAZWA <> 'X' order by "
                                   "MODEL desc"),
                 (QList<QStringList>{{"0", "-8"}, {"-1", "-9"}}));
    }

    void existingRowsAreNeverChanged() {
        Run run;
        run.workshop.exec("insert into MARKI values (0, 5, 'AUDI');"
                          "insert into MODELE values (0, 5, 6, 'A4', '1990.01', '');"
                          "insert into WERSJE values (0, 6, 7, '1.8', '1991.01', '', 1, 2, 3, 4)");
        QVERIFY(run.import("AUDI;A4;11.94-10.01;1.8;03.96-10.01;150/110;x;1781;\n"));
        QCOMPARE(run.count("insert"), 0);
        QCOMPARE(run.workshop.rows("select * from MODELE"),
                 (QList<QStringList>{{"0", "5", "6", "A4", "1990.01", ""}}));
        QCOMPARE(run.workshop.rows("select * from WERSJE"),
                 (QList<QStringList>{{"0", "6", "7", "1.8", "1991.01", "", "1", "2", "3", "4"}}));
    }

    void apostrophesAndPolishLettersStoredAsWritten() {
        Run run;
        const std::string csv = Pl("O'X;CEE'D;;V'1'2;;;;;\nžuk;A'B'C;;ł'ó;;;;;\n");
        QVERIFY(run.import(csv));
        QVERIFY(std::find(run.statements.begin(), run.statements.end(),
                          "select MODEL from MODELE where RDZPOJ = 0 and MARKA = -1 and "
                          "upper(NAZWA) = 'CEE''D'") != run.statements.end());
        QCOMPARE(run.workshop.rows("select NAZWA from MARKI order by MARKA desc"),
                 (QList<QStringList>{{"O'X"}, {"ŽUK"}}));
        QCOMPARE(run.workshop.rows("select NAZWA from MODELE order by MODEL desc"),
                 (QList<QStringList>{{"CEE'D"}, {"A'B'C"}}));
        QCOMPARE(run.workshop.rows("select NAZWA from WERSJE order by WERSJA desc"),
                 (QList<QStringList>{{"V'1'2"}, {"Ł'Ó"}}));
        // A second import finds every one of them.
        QVERIFY(run.import(csv));
        QCOMPARE(run.count("insert"), 0);
    }

    void craftedNamesStayInsideTheirLiterals() {
        // Unquoted, this make would find BMW and the model would find any
        // model; quoted, each is a name like any other.
        Run run;
        run.workshop.exec("insert into MARKI values (0, 7, 'BMW');"
                          "insert into MODELE values (0, -1, 3, 'Z3', '', '')");
        QVERIFY(run.import("X') or ('1'='1;M' or 'a'='a;03.'8-;V;;;;;\n"));
        QCOMPARE(run.workshop.rows("select MARKA, NAZWA from MARKI order by MARKA"),
                 (QList<QStringList>{{"6", "X') OR ('1'='1"}, {"7", "BMW"}}));
        QCOMPARE(run.workshop.rows("select NAZWA, PROD_OD from MODELE order by MODEL"),
                 (QList<QStringList>{{"M' OR 'A'='A", "19'8.03"}, {"Z3", ""}}));
    }

    void powerAndCapacityNumbers_data() {
        QTest::addColumn<QString>("columns");    // power;column 7;capacity
        QTest::addColumn<QStringList>("stored"); // POJ_TECH, POJ_TAX, MOC_KW, MOC_KM
        QTest::newRow("both parts")
            << "150/110;x;1781" << QStringList{"1781", "1781", "110", "150"};
        QTest::newRow("empty") << ";;" << QStringList{"0", "0", "0", "0"};
        QTest::newRow("no slash") << "75;;abc" << QStringList{"0", "0", "75", "0"};
        QTest::newRow("not whole numbers") << "1.5/9x;;1e3" << QStringList{"0", "0", "0", "0"};
        QTest::newRow("signed") << "-5/+7;;-1" << QStringList{"-1", "-1", "7", "-5"};
        QTest::newRow("second sign") << "+-5/-+7;;+-1" << QStringList{"0", "0", "0", "0"};
        QTest::newRow("too large")
            << "99999999999/1;;2147483647" << QStringList{"2147483647", "2147483647", "1", "0"};
    }
    void powerAndCapacityNumbers() {
        QFETCH(QString, columns);
        QFETCH(QStringList, stored);
        Run run;
        QVERIFY(run.import("A;B;;C;;" + columns.toStdString() + ";\n"));
        QCOMPARE(run.workshop.rows("select POJ_TECH, POJ_TAX, MOC_KW, MOC_KM from WERSJE"),
                 (QList<QStringList>{stored}));
    }

    void failureKeepsEarlierRowsAndRerunInsertsNothingTwice() {
        Run run;
        const std::string good = "AUDI;A4;;1.8;;;;;\n";
        const std::string third = "BMW;E36;;318;;;;;\n";
        PushMessageBoxAnswer(IDOK);
        QVERIFY(!run.import(good + "AUDI;A6;2005-2010;2.0;;;;;\n" + third));
        auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text,
                 Pl("Wystąpił błąd podczas pobierania danych z serwera\n") + "Range check error\n");
        QCOMPARE(calls[0].caption, std::string("Uwaga"));
        QCOMPARE(calls[0].flags, 48);
        QCOMPARE((QList<int>{run.rows("MARKI"), run.rows("MODELE"), run.rows("WERSJE")}),
                 (QList<int>{1, 1, 1}));

        QVERIFY(run.import(good + "AUDI;A6;05.05-;2.0;;;;;\n" + third));
        QCOMPARE((QList<int>{run.rows("MARKI"), run.rows("MODELE"), run.rows("WERSJE")}),
                 (QList<int>{2, 3, 3}));
    }

    void failuresEndTheImportWithTheirMessage_data() {
        QTest::addColumn<QString>("sabotage");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("serverMessage"); // the PostgreSQL driver's, where it differs
        QTest::newRow("missing file") << "rm"
                                      << "Cannot open file " << QString();
        QTest::newRow("make lookup fails")
            << "drop table MARKI"
            << "Cannot perform this operation on a closed dataset" << QString();
        QTest::newRow("engine error") << "drop table WERSJE"
                                      << "no such table: WERSJE"
                                      << "relation \"wersje\" does not exist";
    }
    void failuresEndTheImportWithTheirMessage() {
        QFETCH(QString, sabotage);
        QFETCH(QString, message);
        QFETCH(QString, serverMessage);
        Run run;
        if (run.workshop.onServer() && !serverMessage.isNull())
            message = serverMessage;
        // A make of 41 letters, after one that fits: the import stops at
        // its line, and keeps what came before.
        WriteWholeFile(run.workshop.file("mmw.csv"),
                       sabotage == "long make"
                           ? "BMW;3;;316;;;;;\n" + std::string(41, 'W') + ";A4;;1.8;;;;;\n"
                           : std::string("AUDI;A4;;1.8;;;;;\n"));
        if (sabotage == "rm")
            std::remove(run.workshop.file("mmw.csv").c_str());
        else if (sabotage != "long make")
            run.workshop.exec(sabotage.toStdString());
        app::TCatalogueImport import(run.work, run.form.komunikat);
        PushMessageBoxAnswer(IDOK);
        QVERIFY(!import.Run(run.workshop.file("mmw.csv")));
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QVERIFY2(calls[0].text.find(message.toStdString()) != std::string::npos,
                 calls[0].text.c_str());
        if (sabotage == "long make")
            QCOMPARE(run.workshop.rows("select NAZWA from MARKI"), (QList<QStringList>{{"BMW"}}));
    }

    void emptyFileCompletesWithoutStatements() {
        Run run;
        QVERIFY(run.import(""));
        QVERIFY(run.statements.empty());
        QVERIFY(TakeMessageBoxCalls().empty());
    }
};

QTEST_MAIN(CatalogueImportTest)
#include "CatalogueImportTest.moc"
