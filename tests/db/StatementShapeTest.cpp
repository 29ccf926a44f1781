// Which literals of a statement become parameters, and which statements are
// left exactly as written.

#include "db/StatementShape.h"
#include "db/ShapeMemo.h"

#include <QtTest>

using db::LiteralParameters;
using db::Value;

namespace {

// The values as text: an integer as its digits, a string in apostrophes.
QStringList Describe(const std::vector<Value>& values) {
    QStringList out;
    for (const Value& v : values)
        out << (v.kind() == Value::Kind::Integer ? QString::number(v.integer())
                                                 : "'" + QString::fromStdString(v.text()) + "'");
    return out;
}

} // namespace

class StatementShapeTest : public QObject {
    Q_OBJECT
private slots:
    void shape_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("shape"); // null: left as written
        QTest::addColumn<QStringList>("values");

        QTest::newRow("make lookup")
            << "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'AUDI'"
            << "select MARKA from MARKI where RDZPOJ = ?1 and upper(NAZWA) = ?2"
            << QStringList{"0", "'AUDI'"};
        QTest::newRow("smallest key")
            << "select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = 0"
            << "select min(MARKA) MIN_MARKA from MARKI where RDZPOJ = ?1" << QStringList{"0"};
        QTest::newRow("version insert, negative keys, doubled apostrophe")
            << "insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, "
               "POJ_TAX, MOC_KW, MOC_KM) VALUES (0, -1, -12,'1.8 ''T''','1996.03','',1781,1781,"
               "110,150)"
            << "insert into WERSJE (RDZPOJ, MODEL, WERSJA, NAZWA, PROD_OD, PROD_DO, POJ_TECH, "
               "POJ_TAX, MOC_KW, MOC_KM) VALUES (?1, -?2, -?3,?4,?5,?6,?7,?8,?9,?10)"
            << QStringList{"0",  "1",    "12",   "'1.8 'T''", "'1996.03'",
                           "''", "1781", "1781", "110",       "150"};
        QTest::newRow("several rows") << "insert into MARKI values (0, 1, 'A'), (0, 2, 'B')"
                                      << "insert into MARKI values (?1, ?2, ?3), (?4, ?5, ?6)"
                                      << QStringList{"0", "1", "'A'", "0", "2", "'B'"};
        QTest::newRow("update: names of SET stay")
            << "update MARKI set NAZWA = 'X', (MARKA) = (5) where RDZPOJ = 0"
            << "update MARKI set NAZWA = ?1, (MARKA) = (?2) where RDZPOJ = ?3"
            << QStringList{"'X'", "5", "0"};
        QTest::newRow("update set with a quoted name")
            << "update MARKI set 'NAZWA' = 'X'"
            << "update MARKI set 'NAZWA' = ?1" << QStringList{"'X'"};
        QTest::newRow("delete") << "delete from MARKI where MARKA < -5"
                                << "delete from MARKI where MARKA < -?1" << QStringList{"5"};
        QTest::newRow("trailing semicolon and comment")
            << "delete from MARKI where MARKA = 1; -- done"
            << "delete from MARKI where MARKA = ?1; -- done" << QStringList{"1"};
        QTest::newRow("result columns stay")
            << "select 1, 'a' from MARKI where MARKA = 2"
            << "select 1, 'a' from MARKI where MARKA = ?1" << QStringList{"2"};
        QTest::newRow("join condition before WHERE stays")
            << "select * from MARKI m join MODELE o on o.MARKA = m.MARKA and o.RDZPOJ = 0 where "
               "m.NAZWA like 'A%' escape '\\'"
            << "select * from MARKI m join MODELE o on o.MARKA = m.MARKA and o.RDZPOJ = 0 where "
               "m.NAZWA like ?1 escape ?2"
            << QStringList{"'A%'", "'\\'"};
        QTest::newRow("subquery in WHERE, alias without AS stays")
            << "select * from MARKI where MARKA in (select MARKA 'k' from MODELE where MODEL = 3)"
            << "select * from MARKI where MARKA in (select MARKA 'k' from MODELE where MODEL = ?1)"
            << QStringList{"3"};
        QTest::newRow("reals, hexadecimals, blobs and big numbers stay")
            << "select * from T where A = 1.5 or A = 0x10 or A = x'AB' or A = 1e3 or A = "
               "99999999999999999999 or A = 7"
            << "select * from T where A = 1.5 or A = 0x10 or A = x'AB' or A = 1e3 or A = "
               "99999999999999999999 or A = ?1"
            << QStringList{"7"};
        QTest::newRow("collation and table after IN stay")
            << "select * from T where A = 'x' collate 'nocase' or B in 'U'"
            << "select * from T where A = ?1 collate 'nocase' or B in 'U'" << QStringList{"'x'"};
        QTest::newRow("Polish text in UTF-8")
            << QString::fromUtf8("select 1 from T where N = 'ŻÓŁW'")
            << "select 1 from T where N = ?1" << QStringList{QString::fromUtf8("'ŻÓŁW'")};

        const QStringList none;
        QTest::newRow("no literal") << "select * from MARKI" << QString() << none;
        QTest::newRow("select without WHERE") << "select 1 from MARKI" << QString() << none;
        QTest::newRow("ORDER BY") << "select * from MARKI where MARKA > 0 order by 1" << QString()
                                  << none;
        QTest::newRow("GROUP BY") << "select NAZWA, count(*) from MARKI where MARKA > 0 group by 1"
                                  << QString() << none;
        QTest::newRow("ORDER BY in a subquery")
            << "select * from MARKI where MARKA = (select MARKA from MARKI order by 1 limit 1)"
            << QString() << none;
        QTest::newRow("compound") << "select 1 from MARKI where MARKA = 1 union select 2"
                                  << QString() << none;
        QTest::newRow("window") << "select row_number() over (partition by NAZWA) from MARKI "
                                   "where MARKA = 1"
                                << QString() << none;
        QTest::newRow("returning")
            << "delete from MARKI where MARKA = 1 returning 1" << QString() << none;
        QTest::newRow("own parameters")
            << "select * from MARKI where MARKA = ?1 and NAZWA = 'A'" << QString() << none;
        QTest::newRow("named parameters")
            << "select * from MARKI where MARKA = :k and RDZPOJ = 0" << QString() << none;
        QTest::newRow("second statement")
            << "insert into MARKI values (0, 1, 'A'); delete from PERSONEL" << QString() << none;
        QTest::newRow("insert ... select")
            << "insert into MARKI select 0, 1, 'A' from PERSONEL where 1 = 1" << QString() << none;
        QTest::newRow("update ... from")
            << "update MARKI set NAZWA = 'A' from MODELE where MODELE.MARKA = MARKI.MARKA"
            << QString() << none;
        QTest::newRow("unterminated")
            << "select * from MARKI where NAZWA = 'A" << QString() << none;
        QTest::newRow("DDL") << "create table X (A integer default 5)" << QString() << none;
        QTest::newRow("PRAGMA") << "PRAGMA wal_autocheckpoint=10000" << QString() << none;
        QTest::newRow("EXPLAIN") << "explain query plan select * from MARKI where MARKA = 1"
                                 << QString() << none;
        QTest::newRow("WITH") << "with k as (select 1) select * from MARKI where MARKA = 1"
                              << QString() << none;
        QTest::newRow("empty") << "" << QString() << none;
    }
    void shape() {
        QFETCH(QString, sql);
        QFETCH(QString, shape);
        QFETCH(QStringList, values);
        const auto result = LiteralParameters::Shape(sql.toStdString());
        if (shape.isNull()) {
            QVERIFY2(!result, result ? result->text.c_str() : "");
            return;
        }
        QVERIFY(result);
        QCOMPARE(QString::fromStdString(result->text), shape);
        QCOMPARE(Describe(result->values), values);
    }

    // A remembered skeleton gives a statement exactly the shape the
    // tokenizer would: the same text and values, or nothing at all.
    void memoAgreesWithTheTokenizer_data() {
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("fits");
        const QString lookup = "select MODEL from MODELE where RDZPOJ = 0 and MARKA = %1 and "
                               "upper(NAZWA) = %2";
        QTest::newRow("other values")
            << lookup.arg("-1", "'A4'") << lookup.arg("-250", "'CEE''D'") << true;
        QTest::newRow("empty text") << lookup.arg("7", "'X'") << lookup.arg("7", "''") << true;
        QTest::newRow("real in an integer hole")
            << lookup.arg("-1", "'A'") << lookup.arg("-1.5", "'A'") << false;
        QTest::newRow("word run on") << lookup.arg("1", "'A'") << lookup.arg("1e3", "'A'") << false;
        QTest::newRow("text in an integer hole")
            << lookup.arg("1", "'A'") << lookup.arg("'1'", "'A'") << false;
        QTest::newRow("number in a text hole")
            << lookup.arg("1", "'A'") << lookup.arg("1", "5") << false;
        QTest::newRow("more after the end")
            << lookup.arg("1", "'A'") << lookup.arg("1", "'A' or 1 = 1") << false;
        QTest::newRow("cut short") << lookup.arg("1", "'A'") << lookup.arg("1", "'A") << false;
        QTest::newRow("other text")
            << lookup.arg("1", "'A'") << QString(lookup).replace("MARKA", "MARKB").arg("1", "'A'")
            << false;
        QTest::newRow("beyond 64 bits")
            << lookup.arg("1", "'A'") << lookup.arg("99999999999999999999", "'A'") << false;
        QTest::newRow("question mark kept in a literal")
            << "select '?1' from MARKI where MARKA = 1"
            << "select '?1' from MARKI where MARKA = 2" << false; // not remembered
    }
    void memoAgreesWithTheTokenizer() {
        QFETCH(QString, seen);
        QFETCH(QString, next);
        QFETCH(bool, fits);
        db::ShapeMemo memo;
        const auto first = LiteralParameters::Shape(seen.toStdString());
        QVERIFY(first);
        memo.Remember(seen.toStdString(), *first);
        if (fits)
            QCOMPARE(memo.size(), std::size_t(1));
        const auto remembered = memo.Match(next.toStdString());
        QCOMPARE(bool(remembered), fits);
        if (!remembered)
            return;
        const auto tokenized = LiteralParameters::Shape(next.toStdString());
        QVERIFY(tokenized);
        QCOMPARE(remembered->text, tokenized->text);
        QCOMPARE(remembered->values, tokenized->values);
    }
    // A full memo lets go of the skeleton used longest ago, whatever order
    // the skeletons were remembered in.
    void memoForgetsTheLeastRecentlyUsed() {
        const std::string makes = "select MARKA from MARKI where RDZPOJ = 0 and upper(NAZWA) = 'A'";
        const std::string models = "select MODEL from MODELE where RDZPOJ = 0 and MARKA = 1";
        const std::string versions = "select WERSJA from WERSJE where RDZPOJ = 0 and MODEL = 2";
        db::ShapeMemo memo(2);
        for (const std::string& sql : {makes, models}) {
            const auto shape = LiteralParameters::Shape(sql);
            QVERIFY(shape);
            memo.Remember(sql, *shape);
        }
        QVERIFY(memo.Match(makes)); // models is now the one used longest ago
        const auto shape = LiteralParameters::Shape(versions);
        QVERIFY(shape);
        memo.Remember(versions, *shape);
        QCOMPARE(memo.size(), std::size_t(2));
        QVERIFY(memo.Match(makes));
        QVERIFY(memo.Match(versions));
        QVERIFY(!memo.Match(models));
    }
};

QTEST_GUILESS_MAIN(StatementShapeTest)
#include "StatementShapeTest.moc"
