// The password cipher: answers of an independent implementation, and the
// properties stored passwords rely on.

#include "login/Crypt.h"
#include "login/Szyfrowaniepc1.h"
#include "platform/Exception.h"

#include <QtTest>

#include <string>

namespace {

const std::string kKey = "prtmob;hjsw71829364qzlkvnbcxea";
const std::string kDefaultKey = "abcdefghijklmnopqrstuvwxyz012345";

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Text(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

class CryptTest : public QObject {
    Q_OBJECT
private slots:
    void knownAnswers_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("letters");
        QTest::newRow("one letter") << Bytes(kKey) << QByteArray("A") << QByteArray("df");
        QTest::newRow("AD's password")
            << Bytes(kKey) << QByteArray("1234") << QByteArray("efhbikab");
        // "ŁÓDŹ" in Windows-1250: every byte but D is 128 or above.
        QTest::newRow("Polish capitals")
            << Bytes(kKey) << QByteArray("\xA3\xD3\x44\x8F") << QByteArray("^h^hinUn");
        QTest::newRow("empty key") << QByteArray() << QByteArray("AB") << QByteArray("mpol");
        QTest::newRow("default key")
            << Bytes(kDefaultKey) << QByteArray("AB") << QByteArray("mpol");
        QTest::newRow("empty text") << Bytes(kKey) << QByteArray() << QByteArray();
    }
    void knownAnswers() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, letters);
        SzyfrowaniePC1 cipher;
        QCOMPARE(Bytes(cipher.Encrypt(Text(key), Text(plain))), letters);
        QCOMPARE(Bytes(cipher.Decrypt(Text(key), Text(letters))), plain);
        // The engine takes the same arguments the other way round.
        TPasswordEncryptDecrypt engine;
        QCOMPARE(Bytes(engine.Encrypt(Text(plain), Text(key))), letters);
        QCOMPARE(Bytes(engine.Decrypt(Text(letters), Text(key))), plain);
    }

    // Each byte, alone and after a prefix that has changed the key buffer,
    // comes back; its letters say which half of the code page it is from.
    void everyByteRoundTrips() {
        SzyfrowaniePC1 cipher;
        for (const std::string& prefix : {std::string(), std::string("\xB3\xF3k")}) {
            for (int code = 0; code < 256; ++code) {
                const std::string plain = prefix + static_cast<char>(code);
                const std::string letters = cipher.Encrypt(kKey, plain);
                QCOMPARE(letters.size(), 2 * plain.size());
                const auto first = static_cast<unsigned char>(letters[letters.size() - 2]);
                const auto second = static_cast<unsigned char>(letters.back());
                if (code < 128)
                    QVERIFY2(first >= 'a' && first <= 'p', qPrintable(QString::number(code)));
                else
                    QVERIFY2(first >= 'Q' && first <= '`', qPrintable(QString::number(code)));
                QVERIFY(second >= 'a' && second <= 'p');
                QCOMPARE(cipher.Decrypt(kKey, letters), plain);
            }
        }
    }

    // Each pair depends only on the key and the bytes up to its own, and
    // nothing of one call stays for the next.
    void commonBeginningsAndRepeatedCalls() {
        SzyfrowaniePC1 one;
        SzyfrowaniePC1 other;
        const std::string word = one.Encrypt(kKey, "1234");
        QCOMPARE(one.Encrypt(kKey, "12345").substr(0, 8), word);
        QCOMPARE(one.Encrypt(kKey, "12\xA3").substr(0, 4), word.substr(0, 4));
        QCOMPARE(one.Encrypt(kKey, "1235").substr(0, 6), word.substr(0, 6));
        QVERIFY(one.Encrypt(kKey, "1235") != word);
        QCOMPARE(other.Encrypt(kKey, "1234"), word);
        QCOMPARE(one.Decrypt(kKey, word), std::string("1234"));
        QCOMPARE(one.Encrypt(kKey, "1234"), word);
    }

    void keysAgreeingInThirtyTwoCharacters_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("sameAs");
        QTest::newRow("longer key") << Bytes(kDefaultKey + "anything beyond") << Bytes(kDefaultKey);
        QTest::newRow("32 of another key") << Bytes(kKey + "Zz" + "tail") << Bytes(kKey + "Zz");
        // A 30-character key keeps the default "4" and "5" at 31 and 32.
        QTest::newRow("positions 31 and 32") << Bytes(kKey) << Bytes(kKey + "45");
        QTest::newRow("short key") << QByteArray("abc") << QByteArray();
    }
    void keysAgreeingInThirtyTwoCharacters() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, sameAs);
        SzyfrowaniePC1 cipher;
        const std::string plain = "Has\xB3o 1234";
        QCOMPARE(cipher.Encrypt(Text(key), plain), cipher.Encrypt(Text(sameAs), plain));
    }

    void keysDifferingInThirtyTwoCharacters() {
        SzyfrowaniePC1 cipher;
        QVERIFY(cipher.Encrypt(kKey, "1234") != cipher.Encrypt(kKey + "46", "1234"));
        QVERIFY(cipher.Encrypt(kKey, "1234") != cipher.Encrypt(kDefaultKey, "1234"));
    }

    void oddLengthFailsWithRangeError_data() {
        QTest::addColumn<QByteArray>("letters");
        QTest::newRow("one letter") << QByteArray("e");
        QTest::newRow("three letters") << QByteArray("efh");
        QTest::newRow("seven letters") << QByteArray("efhbika");
    }
    void oddLengthFailsWithRangeError() {
        QFETCH(QByteArray, letters);
        SzyfrowaniePC1 cipher;
        try {
            cipher.Decrypt(kKey, Text(letters));
            QFAIL("no error raised");
        } catch (const platform::ERangeError& e) {
            QCOMPARE(e.Message(), std::string("Range check error"));
        }
        // The failure leaves nothing behind for the next call.
        QCOMPARE(cipher.Decrypt(kKey, "efhbikab"), std::string("1234"));
    }

    // The building blocks as the operations use them: a fresh state and the
    // default key give the first key-stream word the "AB" answer was built
    // from, NextKeyWord refuses to run without a key, and MixWord refuses to
    // run past the last word.
    void stepsOfTheEngine() {
        TPasswordEncryptDecrypt engine;
        engine.ResetState();
        try {
            engine.NextKeyWord();
            QFAIL("no error raised");
        } catch (const platform::ERangeError& e) {
            QCOMPARE(e.Message(), std::string("Range check error"));
        }
        engine.ResetState();
        engine.LoadKey(std::string());
        const TPasswordEncryptDecrypt::Word k = engine.NextKeyWord();
        // "A" enciphered with the default key: letters from 0x41 ^ k's bytes.
        const unsigned v = (0x41u ^ (k >> 8) ^ (k & 0xFFu)) & 0xFFu;
        const std::string letters = {static_cast<char>('a' + (v >> 4)),
                                     static_cast<char>('a' + (v & 15))};
        QCOMPARE(letters, std::string("mp"));
        engine.ResetState();
        for (int i = 0; i < 16; ++i)
            engine.MixWord();
        QVERIFY_THROWS_EXCEPTION(platform::ERangeError, engine.MixWord());
    }
};

QTEST_GUILESS_MAIN(CryptTest)
#include "CryptTest.moc"
