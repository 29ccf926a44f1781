// The engine's alias file: which lines make an alias's parameters, how a
// missing alias is reported, and how PATH is taken from the parameters.

#include "db/EDBEngineError.h"
#include "db/EngineConfig.h"
#include "db/TSession.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"
#include "tests/support/TempDir.h"

#include <QtTest>

using db::EngineConfig;

class AliasesTest : public QObject {
    Q_OBJECT
private slots:
    void aliasParams_data();
    void aliasParams();
    void missingAlias_data();
    void missingAlias();
    void defaultLocation();
    void lookupOrder_data();
    void lookupOrder();
    void pathParameter_data();
    void pathParameter();
};

void AliasesTest::aliasParams_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("found among others")
        << "[OTHER]\nPATH=/x\n[ZIRKONAL_KALVOMER_3]\nTYPE=STANDARD\nPATH=/dane\n[LAST]\nPATH=/y\n"
        << "ZIRKONAL_KALVOMER_3" << QStringList{"TYPE=STANDARD", "PATH=/dane"};
    QTest::newRow("comments and blank lines skipped")
        << "; engine aliases\n[A]\n\n# the data\nPATH=/d\n   \n;PATH=/old\n"
        << "A" << QStringList{"PATH=/d"};
    QTest::newRow("value with = returned as written") << "[A]\nPATH=/srv/a=b\n"
                                                      << "A" << QStringList{"PATH=/srv/a=b"};
    QTest::newRow("no trimming of values or names")
        << "[A]\n PATH = /d  \nPath=/e\n"
        << "A" << QStringList{" PATH = /d  ", "Path=/e"};
    QTest::newRow("alias name without case") << "[Zirkonal_Kalvomer_3]\nPATH=/d\n"
                                             << "ZIRKONAL_KALVOMER_3" << QStringList{"PATH=/d"};
    QTest::newRow("carriage returns of line ends dropped")
        << "[A]\r\nPATH=/d\r\nTYPE=X\r\n"
        << "A" << QStringList{"PATH=/d", "TYPE=X"};
    QTest::newRow("empty section") << "[A]\n[B]\nPATH=/b\n"
                                   << "A" << QStringList{};
    QTest::newRow("later section of the same name ignored")
        << "[A]\nPATH=/first\n[a]\nPATH=/second\n"
        << "A" << QStringList{"PATH=/first"};
    // The file is UTF-8; the lines come back in the program's own text.
    QTest::newRow("Polish letters") << QString::fromUtf8("[A]\nPATH=/Łódź/dane\n") << "A"
                                    << QStringList{QString::fromUtf8("PATH=/Łódź/dane")};
}

void AliasesTest::aliasParams() {
    QFETCH(QString, file);
    QFETCH(QString, alias);
    QFETCH(QStringList, expected);
    testsupport::TempDir dir;
    platform::WriteWholeFile(dir.file("aliases.ini"), file.toStdString());
    testsupport::ScopedEnv env("DBENGINE_CONFIG", dir.file("aliases.ini"));

    std::vector<std::string> list;
    db::DefaultSession().GetAliasParams(alias.toStdString(), list);
    QStringList got;
    for (const auto& line : list)
        got << platform::ToQString(line);
    QCOMPARE(got, expected);
}

void AliasesTest::missingAlias_data() {
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("not in the file") << true;
    QTest::newRow("no configuration file") << false;
}

void AliasesTest::missingAlias() {
    QFETCH(bool, fileExists);
    testsupport::TempDir dir;
    if (fileExists)
        platform::WriteWholeFile(dir.file("aliases.ini"), "[OTHER]\nPATH=/x\n; [KALVOMER_NEW]\n");
    testsupport::ScopedEnv env("DBENGINE_CONFIG", dir.file("aliases.ini"));
    try {
        EngineConfig::AliasParams("KALVOMER_NEW");
        QFAIL("a missing alias must fail");
    } catch (const db::EDBEngineError& e) {
        QVERIFY2(e.Message().find("KALVOMER_NEW") != std::string::npos, e.what());
    }
}

void AliasesTest::defaultLocation() {
    testsupport::TempDir home;
    QVERIFY(platform::CreateDir(home.file(".config")));
    QVERIFY(platform::CreateDir(home.file(".config/dbengine")));
    platform::WriteWholeFile(home.file(".config/dbengine/aliases.ini"), "[A]\nPATH=/dane-domowe\n");
    testsupport::ScopedEnv homeEnv("HOME", home.path());
    testsupport::ScopedEnv configEnv("DBENGINE_CONFIG", std::nullopt);
    QCOMPARE(EngineConfig::AliasParams("A"), std::vector<std::string>{"PATH=/dane-domowe"});
}

void AliasesTest::lookupOrder_data() {
    QTest::addColumn<QString>("variable"); // DBENGINE_CONFIG: "-" unset, else its value
    QTest::addColumn<bool>("ownFile");     // ~/.config/dbengine/aliases.ini exists
    QTest::addColumn<QString>("expected"); // "own", "machine" or a path
    QTest::newRow("variable over the own file")
        << "/elsewhere/engine.ini" << true << "/elsewhere/engine.ini";
    QTest::newRow("own file") << "-" << true << "own";
    QTest::newRow("empty variable counts as unset") << "" << true << "own";
    QTest::newRow("machine-wide when there is no own file") << "-" << false << "machine";
}

void AliasesTest::lookupOrder() {
    QFETCH(QString, variable);
    QFETCH(bool, ownFile);
    QFETCH(QString, expected);
    testsupport::TempDir home;
    const std::string own = home.file(".config/dbengine/aliases.ini");
    if (ownFile) {
        QVERIFY(platform::ForceDirectories(home.file(".config/dbengine")));
        platform::WriteWholeFile(own, "[A]\nPATH=/dane\n");
    } else {
        // A directory of that name is no file.
        QVERIFY(platform::ForceDirectories(own));
    }
    testsupport::ScopedEnv homeEnv("HOME", home.path());
    testsupport::ScopedEnv configEnv(
        "DBENGINE_CONFIG", variable == "-" ? std::nullopt : std::optional(variable.toStdString()));
    const std::string path = expected == "own"       ? own
                             : expected == "machine" ? std::string("/etc/dbengine/aliases.ini")
                                                     : expected.toStdString();
    QCOMPARE(EngineConfig::FilePath(), path);
}

void AliasesTest::pathParameter_data() {
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringList{"TYPE=STANDARD", "PATH=/dane"} << true << "/dane";
    QTest::newRow("split at the first =") << QStringList{"PATH=/a=b"} << true << "/a=b";
    QTest::newRow("other case not taken") << QStringList{"Path=/a"} << false << "";
    QTest::newRow("first of two") << QStringList{"PATH=/one", "PATH=/two"} << true << "/one";
    QTest::newRow("empty value") << QStringList{"PATH="} << true << "";
    QTest::newRow("name with a blank is another name") << QStringList{"PATH =/a"} << false << "";
}

void AliasesTest::pathParameter() {
    QFETCH(QStringList, params);
    QFETCH(bool, found);
    QFETCH(QString, expected);
    std::vector<std::string> lines;
    for (const QString& p : params)
        lines.push_back(p.toStdString());
    const auto value = EngineConfig::Parameter(lines, "PATH");
    QCOMPARE(value.has_value(), found);
    if (found)
        QCOMPARE(QString::fromStdString(*value), expected);
}

QTEST_GUILESS_MAIN(AliasesTest)
#include "AliasesTest.moc"
