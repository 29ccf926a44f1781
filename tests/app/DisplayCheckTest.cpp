// The program started without a display a person can use: one line on
// standard error that says why and how else to run it, and status 1, where
// Qt alone would abort. The real executable, in a real process.

#include "platform/FileServices.h"

#include <QProcess>
#include <QtTest>

class DisplayCheckTest : public QObject {
    Q_OBJECT
private slots:
    void refusedWithOneLine_data() {
        QTest::addColumn<QStringList>("settings"); // NAME=value, or NAME alone to unset
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing set")
            << QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"} << "DISPLAY is not set";
        // No server answers there: Qt's platform fails to start.
        QTest::newRow("dead display")
            << QStringList{"DISPLAY=:4079", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}
            << "the display :4079 cannot be opened";
        QTest::newRow("xcb without DISPLAY")
            << QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"}
            << "DISPLAY is not set";
        QTest::newRow("offscreen, display set")
            << QStringList{"DISPLAY=:0", "QT_QPA_PLATFORM=offscreen"}
            << "QT_QPA_PLATFORM=offscreen shows no window";
        QTest::newRow("minimal with options") << QStringList{"QT_QPA_PLATFORM=minimal:enable_fonts"}
                                              << "QT_QPA_PLATFORM=minimal shows no window";
    }
    void refusedWithOneLine() {
        QFETCH(QStringList, settings);
        QFETCH(QString, reason);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& setting : settings) {
            const qsizetype eq = setting.indexOf(QLatin1Char('='));
            if (eq < 0)
                environment.remove(setting);
            else
                environment.insert(setting.left(eq), setting.mid(eq + 1));
        }
        QProcess mmw;
        mmw.setProcessEnvironment(environment);
        mmw.start(QString::fromStdString(platform::ExtractFileDir(platform::ExeName()) + "/mmw"),
                  {});
        QVERIFY(mmw.waitForFinished(60000));
        QCOMPARE(mmw.exitStatus(), QProcess::NormalExit);
        QCOMPARE(mmw.exitCode(), 1);
        QCOMPARE(mmw.readAllStandardOutput(), QByteArray());
        const QString err = QString::fromUtf8(mmw.readAllStandardError());
        QCOMPARE(err.count(QLatin1Char('\n')), 1);
        QVERIFY2(err.startsWith("mmw: no usable display (" + reason + "); "), qPrintable(err));
        QVERIFY2(err.contains("xvfb-run") && err.contains("VNC"), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(DisplayCheckTest)
#include "DisplayCheckTest.moc"
