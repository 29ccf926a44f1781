// The header list and the two encoders of the HTTP client: header look-up
// and replacement, form encoding, and Base64 checked against Qt's own codec.

#include "net/HeaderList.h"
#include "net/MimeEncoder.h"
#include "net/UrlEncoder.h"

#include <QByteArray>
#include <QList>
#include <QtTest>

#include <stdexcept>
#include <string>

namespace {

std::string Bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

QByteArray Qb(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class EncodersTest : public QObject {
    Q_OBJECT
private slots:
    void findHeader_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("sorted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        const QStringList lines{"GET / HTTP/1.0", "Host: a",   "Accept: x",
                                "Accept: y",      "X-Host: b", "Host-Name: c"};
        QTest::newRow("first of two") << lines << false << "Accept" << 2;
        QTest::newRow("letter case") << lines << false << "hOST" << 1;
        QTest::newRow("line without colon skipped") << lines << false << "GET / HTTP/1.0" << -1;
        QTest::newRow("name is the whole text before the colon")
            << lines << false << "Host-Name" << 5;
        QTest::newRow("missing") << lines << false << "Cookie" << -1;
        QTest::newRow("empty list") << QStringList{} << false << "Host" << -1;
        // Sorted: GET.., Accept: x, Accept: y, Host-Name: c, Host: a, X-Host: b
        QTest::newRow("sorted: Host after Host-Name") << lines << true << "host" << 4;
        QTest::newRow("sorted: first Accept") << lines << true << "Accept" << 0;
        QTest::newRow("sorted: Host-Name") << lines << true << "Host-Name" << 3;
        QTest::newRow("sorted: missing") << lines << true << "Hos" << -1;
    }
    void findHeader() {
        QFETCH(QStringList, lines);
        QFETCH(bool, sorted);
        QFETCH(QString, name);
        QFETCH(int, index);
        TExStringList list;
        for (const QString& line : lines)
            list.Add(line.toStdString());
        list.setSorted(sorted);
        QCOMPARE(list.FindHeader(name.toStdString()), index);
    }

    void setHeader_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("replaced in place") << "host"
                                           << "b"
                                           << "GET / HTTP/1.0\r\nhost: b\r\nAccept: x\r\n";
        QTest::newRow("appended") << "Cookie"
                                  << "c=1"
                                  << "GET / HTTP/1.0\r\nHost: a\r\nAccept: x\r\nCookie: c=1\r\n";
        QTest::newRow("deleted") << "Host"
                                 << ""
                                 << "GET / HTTP/1.0\r\nAccept: x\r\n";
        QTest::newRow("nothing to delete") << "Cookie"
                                           << ""
                                           << "GET / HTTP/1.0\r\nHost: a\r\nAccept: x\r\n";
    }
    void setHeader() {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, text);
        TExStringList list;
        list.Add("GET / HTTP/1.0");
        list.Add("Host: a");
        list.Add("Accept: x");
        list.SetHeader(name.toStdString(), value.toStdString());
        QCOMPARE(QString::fromStdString(list.Text()), text);
    }

    void listIndexOutOfBounds() {
        TExStringList list;
        list.Add("a");
        QVERIFY_THROWS_EXCEPTION(platform::Exception, list.Delete(1));
    }

    void urlEncode_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("letters and digits stay") << QByteArray("AZaz09") << QByteArray("AZaz09");
        QTest::newRow("blank") << QByteArray("a b  c") << QByteArray("a+b++c");
        QTest::newRow("punctuation")
            << QByteArray("-_.~*%+=&") << QByteArray("%2D%5F%2E%7E%2A%25%2B%3D%26");
        QTest::newRow("line end and NUL") << QByteArray("\r\n\0", 3) << QByteArray("%0D%0A%00");
        QTest::newRow("Windows-1250 letters")
            << QByteArray("\xB9\xB3\xBF\xA5") << QByteArray("%B9%B3%BF%A5");
    }
    void urlEncode() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, encoded);
        TUrlEncoder encoder;
        bool failed = false;
        encoder.setOnError(
            [&](QObject*, const std::string&, const std::string&) { failed = true; });
        QCOMPARE(Qb(encoder.Encode(Bytes(data))), encoded);
        QVERIFY(!failed);
    }

    void base64Vectors_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("encoded");
        // RFC 4648 and RFC 2617.
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==\r\n");
        QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=\r\n");
        QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v\r\n");
        QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy\r\n");
        QTest::newRow("credentials")
            << QByteArray("Aladdin:open sesame") << QByteArray("QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\n");
        // Python's base64 of the bytes 0..49, split after 45 bytes.
        QTest::newRow("two lines")
            << QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                          "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"
                          "\x20\x21\x22\x23\x24\x25\x26\x27\x28\x29\x2a\x2b\x2c\x2d\x2e\x2f"
                          "\x30\x31",
                          50)
            << QByteArray("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKiss\r\n"
                          "LS4vMDE=\r\n");
    }
    void base64Vectors() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, encoded);
        QCOMPARE(Qb(TUUProcessor().Encode(Bytes(data))), encoded);
    }

    // Every length around the line size, every byte value: each line holds
    // 60 characters at most, ends in CR LF, and decodes to the next 45 bytes.
    void base64Lines_data() {
        QTest::addColumn<int>("length");
        for (int length : {1, 2, 3, 44, 45, 46, 89, 90, 91, 256, 1000})
            QTest::addRow("%d bytes", length) << length;
    }
    void base64Lines() {
        QFETCH(int, length);
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data += static_cast<char>((i * 37 + 11) & 0xFF);
        const QByteArray encoded = Qb(TUUProcessor().Encode(Bytes(data)));
        QVERIFY(encoded.endsWith("\r\n"));
        const QList<QByteArray> lines = encoded.chopped(2).split('\n');
        QCOMPARE(lines.size(), (length + 44) / 45);
        for (int i = 0; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (i + 1 < lines.size()) {
                QVERIFY(line.endsWith('\r'));
                line.chop(1);
            }
            QVERIFY(line.size() <= 60);
            QCOMPARE(line, data.mid(i * 45, 45).toBase64());
        }
    }
};

QTEST_GUILESS_MAIN(EncodersTest)
#include "EncodersTest.moc"
