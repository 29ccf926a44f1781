// The catalogue file: line splitting, the column parser and the date rule.

#include "app/CatalogueLine.h"
#include "app/CatalogueFile.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "tests/support/TempDir.h"

#include <QtTest>

using app::CatalogueLine;

Q_DECLARE_METATYPE(CatalogueLine)

namespace {
CatalogueLine Make(std::initializer_list<const char*> f) {
    std::vector<std::string> v(f.begin(), f.end());
    v.resize(11);
    return CatalogueLine{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]};
}
} // namespace

class CatalogueLineTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<CatalogueLine>("expected");
        // make, model, model from, to, version, from, to, KM, kW, column 7, capacity
        QTest::newRow("example") << QByteArray(
                                        "AUDI;A4;11.94-10.01;1.8 T;03.96-10.01;150/110;x;1781;")
                                 << Make({"AUDI", "A4", "1994.11", "2001.10", "1.8 T", "1996.03",
                                          "2001.10", "150", "110", "x", "1781"});
        QTest::newRow("trimmed, case kept")
            << QByteArray(" Audi ;\tA4 ; 03.98 - 11.04 ;\x01v\x1F;;; ;\r;")
            << Make({"Audi", "A4", "1998.03", "2004.11", "v"});
        QTest::newRow("ends after seventh") << QByteArray("A;B;;C;;75;z;1600")
                                            << Make({"A", "B", "", "", "C", "", "", "", "75", "z"});
        QTest::newRow("no separator") << QByteArray("AUDI") << Make({});
        QTest::newRow("empty") << QByteArray("") << Make({});
        QTest::newRow("after eighth ignored")
            << QByteArray("A;B;;C;;;;1;extra;more;")
            << Make({"A", "B", "", "", "C", "", "", "", "", "", "1"});
        QTest::newRow("apostrophes kept as written")
            << QByteArray("O'X;A'B'C;;V'1;;;;;") << Make({"O'X", "A'B'C", "", "", "V'1"});
        QTest::newRow("open range") << QByteArray("A;B;05.19-;C;05.20-05.21;;;;")
                                    << Make({"A", "B", "2019.05", "", "C", "1920.05", "1921.05"});
        QTest::newRow("range without dash")
            << QByteArray("A;B;1998;C;x;;;;") << Make({"A", "B", "", "", "C"});
        QTest::newRow("six characters")
            << QByteArray("A;B;03.98x-;C;;;;;") << Make({"A", "B", "1998.03", "", "C"});
        QTest::newRow("power split only at first slash")
            << QByteArray("A;B;;C;;1/2/3;;;") << Make({"A", "B", "", "", "C", "", "", "1", "2/3"});
        QTest::newRow("power slash first")
            << QByteArray("A;B;;C;;/90;;;") << Make({"A", "B", "", "", "C", "", "", "", "90"});
        QTest::newRow("polish bytes") << QByteArray("\xA3\xD3\xAF;\xB3\xF3\xBF;;;;;;;")
                                      << Make({"\xA3\xD3\xAF", "\xB3\xF3\xBF"});
    }
    void parse() {
        QFETCH(QByteArray, line);
        QFETCH(CatalogueLine, expected);
        const CatalogueLine got = app::ParseCatalogueLine(line.toStdString());
        QCOMPARE(got.MakeName, expected.MakeName);
        QCOMPARE(got.ModelName, expected.ModelName);
        QCOMPARE(got.ModelFrom, expected.ModelFrom);
        QCOMPARE(got.ModelTo, expected.ModelTo);
        QCOMPARE(got.VersionName, expected.VersionName);
        QCOMPARE(got.VersionFrom, expected.VersionFrom);
        QCOMPARE(got.VersionTo, expected.VersionTo);
        QCOMPARE(got.PowerKM, expected.PowerKM);
        QCOMPARE(got.PowerKW, expected.PowerKW);
        QCOMPARE(got.Column7, expected.Column7);
        QCOMPARE(got.Capacity, expected.Capacity);
    }

    void badRangesFail_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty from") << QByteArray("A;B;-11.04;C;;;;;");
        QTest::newRow("four-character from") << QByteArray("A;B;2005-2010;C;;;;;");
        QTest::newRow("short to") << QByteArray("A;B;01.99-1.0;C;;;;;");
        QTest::newRow("version range") << QByteArray("A;B;;C;-;;;;");
    }
    void badRangesFail() {
        QFETCH(QByteArray, line);
        try {
            app::ParseCatalogueLine(line.toStdString());
            QFAIL("the range was accepted");
        } catch (const platform::Exception& e) {
            QCOMPARE(e.Message(), std::string("Range check error"));
        }
    }

    void dateCentury_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("date");
        QTest::newRow("00") << QByteArray("01.00") << QByteArray("2000.01");
        QTest::newRow("19") << QByteArray("12.19") << QByteArray("2019.12");
        QTest::newRow("20") << QByteArray("12.20") << QByteArray("1920.12");
        QTest::newRow("99") << QByteArray("06/99") << QByteArray("1999.06");
    }
    void dateCentury() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, date);
        QCOMPARE(QByteArray::fromStdString(app::ConvertProductionDate(text.toStdString())), date);
    }

    void splitLines_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no final break") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("final break") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("CR, LF, CRLF")
            << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("empty lines kept")
            << QByteArray("a\n\n\r\rb") << QStringList{"a", "", "", "", "b"};
        QTest::newRow("lone break") << QByteArray("\n") << QStringList{""};
        QTest::newRow("empty") << QByteArray("") << QStringList{};
        QTest::newRow("NUL ends the text") << QByteArray("a\nb\0c\nd", 7) << QStringList{"a", "b"};
    }
    void splitLines() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        QStringList got;
        for (const auto& line : app::SplitLines(std::string_view(text.constData(), text.size())))
            got << QString::fromLatin1(line);
        QCOMPARE(got, lines);
    }

    void readsTheFileWhole() {
        testsupport::TempDir dir;
        const std::string path = dir.file("mmw.csv");
        platform::WriteWholeFile(path, "AUDI;A4;;\xB3;;;;;\r\nBMW;E36;;;;;;;");
        const auto lines = app::ReadCatalogue(path);
        QCOMPARE(lines.size(), std::size_t(2));
        QCOMPARE(lines[0], std::string("AUDI;A4;;\xB3;;;;;"));
        try {
            app::ReadCatalogue(dir.file("none.csv"));
            QFAIL("a missing file was read");
        } catch (const platform::Exception& e) {
            QCOMPARE(e.Message(), "Cannot open file " + dir.file("none.csv"));
        }
    }

    void pathIsBesideTheExecutable() {
        QCOMPARE(app::CataloguePath(), platform::ExtractFileDir(platform::ExeName()) + "/mmw.csv");
        QVERIFY(app::CataloguePath().find("/bin/mmw.csv") != std::string::npos);
    }

    void target_data() {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("program's directory writable") << true << "/opt/mmw/mmw.csv";
        QTest::newRow("installed read-only") << false << "/home/ela/.cache/mmw/mmw.csv";
    }
    void target() {
        QFETCH(bool, writable);
        QFETCH(QString, expected);
        QCOMPARE(app::CatalogueTarget("/opt/mmw", writable, "/home/ela/.cache"),
                 expected.toStdString());
    }

    void thisProgramsTarget() {
        // The tests' own directory is writable: the catalogue stays beside
        // the program, and no cache directory is made.
        testsupport::TempDir home;
        testsupport::ScopedEnv cache("XDG_CACHE_HOME", home.file("cache"));
        QCOMPARE(app::CatalogueTarget(), app::CataloguePath());
        QVERIFY(!platform::DirectoryExists(home.file("cache")));
    }

    void fileToImport_data() {
        QTest::addColumn<bool>("inCache");     // the target lies in the cache
        QTest::addColumn<bool>("downloaded");  // the download succeeded
        QTest::addColumn<bool>("besideFile");  // a file stands beside the program
        QTest::addColumn<bool>("cacheFile");   // an earlier download stands in the cache
        QTest::addColumn<QString>("expected"); // "target" or "beside"
        QTest::newRow("beside: downloaded") << false << true << true << false << "target";
        QTest::newRow("beside: failed, earlier file")
            << false << false << true << false << "target";
        QTest::newRow("beside: failed, no file") << false << false << false << false << "target";
        QTest::newRow("cache: downloaded") << true << true << true << true << "target";
        QTest::newRow("cache: failed, shipped file") << true << false << true << true << "beside";
        QTest::newRow("cache: failed, earlier download")
            << true << false << false << true << "target";
        QTest::newRow("cache: failed, nothing") << true << false << false << false << "target";
    }
    void fileToImport() {
        QFETCH(bool, inCache);
        QFETCH(bool, downloaded);
        QFETCH(bool, besideFile);
        QFETCH(bool, cacheFile);
        QFETCH(QString, expected);
        testsupport::TempDir dir;
        QVERIFY(platform::CreateDir(dir.file("bin")));
        const std::string beside = dir.file("bin/mmw.csv");
        const std::string target =
            inCache ? app::CatalogueTarget(dir.file("bin"), false, dir.file("cache"))
                    : app::CatalogueTarget(dir.file("bin"), true, {});
        QCOMPARE(target, inCache ? dir.file("cache/mmw/mmw.csv") : beside);
        if (besideFile)
            platform::WriteWholeFile(beside, "BESIDE;;;;;;;;");
        if (cacheFile) {
            QVERIFY(platform::ForceDirectories(dir.file("cache/mmw")));
            platform::WriteWholeFile(target, "CACHE;;;;;;;;");
        }
        QCOMPARE(app::CatalogueToImport(target, downloaded, beside),
                 expected == "beside" ? beside : target);
    }
};

QTEST_GUILESS_MAIN(CatalogueLineTest)
#include "CatalogueLineTest.moc"
