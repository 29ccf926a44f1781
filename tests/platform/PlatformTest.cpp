// The platform layer: Windows-1250 text, the standard exception display, the
// message box, the temporary directory and whole-file services.

#include "platform/Application.h"
#include "platform/Exception.h"
#include "platform/FileLock.h"
#include "platform/FileServices.h"
#include "platform/FormatSettings.h"
#include "platform/Win1250.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <iconv.h>

using namespace platform;

namespace {

// glibc's converter is an independent source for the code page.
std::string IconvToUtf8(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-8", "CP1250");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inp = in;
    char* outp = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    return std::string(out, sizeof out - outLeft);
}

} // namespace

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        ClearMessageBoxAnswers();
        TakeMessageBoxCalls();
    }

    void codePageAgreesWithIconv() {
        int compared = 0;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const std::string expected = IconvToUtf8(static_cast<unsigned char>(b));
            if (expected.empty())
                continue; // a byte the code page leaves undefined
            const std::string one(1, static_cast<char>(b));
            QCOMPARE(Win1250ToUtf8(one), expected);
            QCOMPARE(Utf8ToWin1250(expected), one);
            ++compared;
        }
        if (compared == 0)
            QSKIP("this system's iconv has no CP1250");
        QVERIFY(compared >= 120);
    }

    void everyByteSurvivesTheRoundTrip() {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        QCOMPARE(Utf8ToWin1250(Win1250ToUtf8(all)), all);
        QCOMPARE(FromQString(ToQString(all)), all);
    }

    void unmappableAndMalformedBecomeQuestionMarks_data() {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("cyrillic") << QByteArray("a\xD0\x96z") << QByteArray("a?z");
        QTest::newRow("emoji") << QByteArray("\xF0\x9F\x98\x80") << QByteArray("?");
        QTest::newRow("emoji among letters")
            << QByteArray("\xC5\x81\xF0\x9F\x98\x80z") << QByteArray("\xA3?z");
        QTest::newRow("cut sequence") << QByteArray("a\xC5") << QByteArray("a?");
        QTest::newRow("lone continuation") << QByteArray("\x80x") << QByteArray("?x");
    }
    void unmappableAndMalformedBecomeQuestionMarks() {
        QFETCH(QByteArray, utf8);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(Utf8ToWin1250(utf8.toStdString())), expected);
        // The same text from the user interface.
        QCOMPARE(QByteArray::fromStdString(FromQString(QString::fromUtf8(utf8))), expected);
    }

    void upperCaseTable_data() {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::newRow("ascii") << "abcxyz 09;"
                               << "ABCXYZ 09;";
        QTest::newRow("polish") << "ąćęłńóśźż"
                                << "ĄĆĘŁŃÓŚŹŻ";
        QTest::newRow("80-9F") << "šśťžź"
                               << "ŠŚŤŽŹ";
        QTest::newRow("A0-BF") << "łąşľż"
                               << "ŁĄŞĽŻ";
        QTest::newRow("E0-FE") << "ŕáâăäĺçčéëěíîďđňôőöřůúűüýţ"
                               << "ŔÁÂĂÄĹÇČÉËĚÍÎĎĐŇÔŐÖŘŮÚŰÜÝŢ";
        QTest::newRow("no capital") << "ß µ ÷ ˙"
                                    << "ß µ ÷ ˙";
        QTest::newRow("already upper") << "ŻÓŁĆ"
                                       << "ŻÓŁĆ";
    }
    void upperCaseTable() {
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QCOMPARE(ToQString(AnsiUpperCase(FromQString(lower))), upper);
    }

    void upperCaseLeavesEveryOtherByte() {
        // Exactly 26 + 10 + 30 bytes change; nothing maps outside the table.
        int changed = 0;
        for (int b = 0; b < 256; ++b)
            if (AnsiUpperChar(static_cast<unsigned char>(b)) != b)
                ++changed;
        QCOMPARE(changed, 26 + 10 + 30);
    }

    void exceptionDisplayFullStop_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("letter") << QByteArray("Brak aliasu") << QByteArray("Brak aliasu.");
        QTest::newRow("full stop") << QByteArray("Koniec.") << QByteArray("Koniec.");
        QTest::newRow("exclamation") << QByteArray("Uwaga!") << QByteArray("Uwaga!");
        QTest::newRow("blank") << QByteArray("Tekst ") << QByteArray("Tekst ");
        QTest::newRow("line break") << QByteArray("Tekst\n") << QByteArray("Tekst\n");
        QTest::newRow("digit") << QByteArray("Kod 5") << QByteArray("Kod 5.");
        QTest::newRow("slash") << QByteArray("a/") << QByteArray("a/.");
        QTest::newRow("comma") << QByteArray("a,") << QByteArray("a,");
        QTest::newRow("polish letter") << QByteArray("B\xB3\xB9") << QByteArray("B\xB3\xB9.");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
    }
    void exceptionDisplayFullStop() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, shown);
        PushMessageBoxAnswer(IDOK);
        Guard([&] { throw Exception(message.toStdString()); });
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(QByteArray::fromStdString(calls[0].text), shown);
        QCOMPARE(calls[0].caption, std::string("platform_test"));
        QCOMPARE(calls[0].flags, 16);
    }

    void guardTurnsForeignThrowsIntoEmptyMessage() {
        PushMessageBoxAnswer(IDOK);
        Guard([] { throw 42; });
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, std::string());
    }

    void realBoxAnswersAndDefaults_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("answer");
        QTest::newRow("question, Enter") << 36 << "enter" << int(IDYES);
        QTest::newRow("question, No") << 36 << "&No" << int(IDNO);
        QTest::newRow("question, Escape") << 36 << "escape" << int(IDNO);
        QTest::newRow("warning, Enter") << 48 << "enter" << int(IDOK);
        QTest::newRow("information, OK") << 64 << "OK" << int(IDOK);
    }
    void realBoxAnswersAndDefaults() {
        QFETCH(int, flags);
        QFETCH(QString, press);
        QFETCH(int, answer);
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            icon = box->icon();
            title = box->windowTitle();
            if (press == "enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (press == "escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else
                for (auto* b : box->buttons())
                    if (b->text() == press)
                        b->click();
        });
        QCOMPARE(MessageBox(Pl("Czy chcesz?"), Pl("Błąd"), flags), answer);
        QCOMPARE(title, QString("Błąd"));
        const QMessageBox::Icon expected = flags == 36   ? QMessageBox::Question
                                           : flags == 48 ? QMessageBox::Warning
                                                         : QMessageBox::Information;
        QCOMPARE(icon, expected);
    }

    void tempPath_data() {
        QTest::addColumn<bool>("setTmpdir");
        QTest::addColumn<bool>("tmpdirExists");
        QTest::addColumn<QString>("name"); // of TMPDIR in the test's directory; none: that one
        QTest::newRow("TMPDIR") << true << true << QString();
        QTest::newRow("TMPDIR with Polish letters") << true << true << QString::fromUtf8("Łódź");
        QTest::newRow("TMPDIR missing, /tmp") << true << false << QString();
        QTest::newRow("unset, /tmp") << false << false << QString();
    }
    void tempPath() {
        QFETCH(bool, setTmpdir);
        QFETCH(bool, tmpdirExists);
        QFETCH(QString, name);
        testsupport::TempDir dir;
        const std::string tmpdir = name.isEmpty() ? dir.path() : dir.file(FromQString(name));
        if (!name.isEmpty())
            QVERIFY(QDir(ToQString(dir.path())).mkdir(name));
        const std::string value = tmpdirExists ? tmpdir : dir.file("absent");
        testsupport::ScopedEnv env("TMPDIR", setTmpdir ? std::optional(value) : std::nullopt);
        char buffer[512];
        const DWORD n = GetTempPathA(sizeof buffer, buffer);
        const std::string expected = tmpdirExists ? tmpdir + "/" : std::string("/tmp/");
        QCOMPARE(std::string(buffer, n), expected);
        QCOMPARE(GetTempPathA(static_cast<DWORD>(expected.size()), buffer), DWORD(0));
    }

    void directoriesAndFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("a");
        QTest::newRow("Polish letters") << QString::fromUtf8("zażółć gęślą");
    }
    void userCacheDirectory_data() {
        QTest::addColumn<QString>("xdg"); // "-" unset
        QTest::addColumn<QString>("expected");
        QTest::newRow("XDG_CACHE_HOME") << "/var/cache/ela"
                                        << "/var/cache/ela";
        QTest::newRow("relative value ignored") << "cache"
                                                << "/home/ela/.cache";
        QTest::newRow("empty value ignored") << ""
                                             << "/home/ela/.cache";
        QTest::newRow("unset") << "-"
                               << "/home/ela/.cache";
        // The environment's UTF-8 becomes the program's Windows-1250.
        QTest::newRow("Polish letters") << "/home/ela/Łódź"
                                        << "/home/ela/Łódź";
    }
    void userCacheDirectory() {
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        testsupport::ScopedEnv home("HOME", std::string("/home/ela"));
        testsupport::ScopedEnv cache("XDG_CACHE_HOME",
                                     xdg == "-" ? std::nullopt : std::optional(FromQString(xdg)));
        QCOMPARE(UserCacheDirectory(), FromQString(expected));
    }

    void forceDirectories() {
        testsupport::TempDir dir;
        QVERIFY(ForceDirectories(dir.file("a/b/c")));
        QVERIFY(DirectoryExists(dir.file("a/b/c")));
        QVERIFY(ForceDirectories(dir.file("a/b/c")));
        QVERIFY(DirectoryWritable(dir.file("a/b")));
        WriteWholeFile(dir.file("f"), "x");
        QVERIFY(!ForceDirectories(dir.file("f/g")));
        QVERIFY(!DirectoryWritable(dir.file("f")));
        QVERIFY(!DirectoryWritable(dir.file("none")));
    }

    void directoriesAndFiles() {
        QFETCH(QString, name);
        testsupport::TempDir dir;
        const std::string sub = dir.file(FromQString(name));
        QVERIFY(!DirectoryExists(sub));
        QVERIFY(CreateDir(sub));
        QVERIFY(DirectoryExists(sub));
        QVERIFY(!CreateDir(dir.file("x/y"))); // one level only

        const std::string data("a\0b\xB1\r\n", 6);
        WriteWholeFile(sub + "/f.bin", data);
        QCOMPARE(ReadWholeFile(sub + "/f.bin"), data);
        QVERIFY(FileExists(sub + "/f.bin"));
        try {
            ReadWholeFile(sub + "/none.csv");
            QFAIL("no error for a missing file");
        } catch (const Exception& e) {
            QCOMPARE(e.Message(), "Cannot open file " + sub + "/none.csv");
        }
        // The system sees the names as they are meant (its own reading,
        // not ours).
        QCOMPARE(QDir(ToQString(dir.path())).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{name});
        FileLock lock;
        QVERIFY(lock.TryLock(sub + "/run.lock"));
        QVERIFY(RenameFile(sub + "/f.bin", sub + "/g.bin"));
        QVERIFY(DeleteFile(sub + "/g.bin"));
        QCOMPARE(QDir(ToQString(sub)).entryList(QDir::Files), QStringList{"run.lock"});
        QCOMPARE(ExtractFileName(ExeName()), std::string("platform_test"));
        QCOMPARE(ExtractFileDir("/a/b/c.csv"), std::string("/a/b"));
    }

    void fileLockExcludesASecondHolder() {
        testsupport::TempDir dir;
        const std::string path = dir.file("run.lock");
        platform::FileLock first, second;
        QVERIFY(first.TryLock(path));
        QVERIFY(FileExists(path));
        QVERIFY(!second.TryLock(path)); // same process, still excluded
        QVERIFY(!second.Locked());
        first.Unlock();
        QVERIFY(second.TryLock(path));
        {
            platform::FileLock scoped;
            QVERIFY(!scoped.TryLock(path));
        }
        second.Unlock();
        {
            platform::FileLock scoped;
            QVERIFY(scoped.TryLock(path));
        } // the destructor lets it go
        QVERIFY(first.TryLock(path));
        QVERIFY_THROWS_EXCEPTION(platform::EFileError,
                                 platform::FileLock().TryLock(dir.file("no/such/dir/x.lock")));
    }

    void decimalSeparator() {
        SetDecimalSeparator('.');
        QCOMPARE(FloatToStr(2.5), std::string("2.5"));
        QCOMPARE(FloatToStr(-0.125), std::string("-0.125"));
        SetDecimalSeparator(',');
        QCOMPARE(FloatToStr(2.5), std::string("2,5"));
        SetDecimalSeparator('.');
    }
};

QTEST_MAIN(PlatformTest)
#include "PlatformTest.moc"
