// The login dialog driven through its widgets, as a person would use it,
// against the staff table of a real demo workshop database.

#include "login/Logowanie.h"

#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TSession.h"
#include "db/TTable.h"
#include "db/WorkshopTables.h"
#include "platform/Application.h"
#include "platform/Win1250.h"
#include "tests/support/DemoWorkshop.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace platform;

namespace {

const QString kWrongId = "Niepoprawny identyfikator";
const QString kWrongPassword = QString::fromUtf8("Niepoprawne hasło");
const QString kNoRights = QString::fromUtf8("Wybrana osoba musi mieć prawa administraotra");

// The main window's engine objects on the demo database, the staff table
// open as the update run leaves it before asking for a login.
struct Workshop {
    explicit Workshop(const char* utf8Setup = "") {
        if (*utf8Setup)
            files.exec(utf8Setup);
        session = new db::TSession(&owner);
        session->setSessionName("Kalvomer");
        session->setKeepConnections(false);
        auto* database = new db::TDatabase(&owner);
        database->setAliasName(testsupport::DemoWorkshop::kAliasName);
        database->setDatabaseName("KALVOMER");
        database->setSessionName("Kalvomer");
        database->setKeepConnection(false);
        database->setLoginPrompt(false);
        personel = new db::TTable(&owner);
        personel->setTableName("Personel.DB");
        personel->setDatabaseName("KALVOMER");
        personel->setSessionName("Kalvomer");
        db::DeclarePersonelFields(*personel);
        personel->Open();
    }

    QString current() const {
        return ToQString(personel->FieldByName("IDENTYFIKATOR")->getAsString());
    }

    testsupport::DemoWorkshop files;
    QObject owner;
    db::TSession* session;
    db::TTable* personel;
};

// Types text into a widget one key at a time, each key carrying its
// character, Polish letters and characters Windows-1250 lacks included.
void Type(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        // A character outside the Basic Multilingual Plane comes as one key
        // carrying both its UTF-16 units.
        const qsizetype units = ch.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QChar upper = ch.toUpper();
        const auto key = upper.unicode() < 0x80 && upper.isLetterOrNumber()
                             ? static_cast<Qt::Key>(upper.unicode())
                             : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, key, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

// Runs Execute with the script played inside its modal loop. A script that
// leaves the dialog open finds it closed for it, so that a failing test
// cannot hang; the answer then is whatever Accepted held.
bool ExecuteWith(TFLogowanie& dialog, const std::function<void()>& script) {
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(dialog.isVisible());
        script();
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected);
    });
    return dialog.Execute();
}

QStringList Boxes() {
    QStringList texts;
    for (const MessageBoxCall& call : TakeMessageBoxCalls()) {
        if (call.caption != Pl("Błąd") || call.flags != 16)
            texts << "unexpected box: " + ToQString(call.caption) + ": " + ToQString(call.text);
        else
            texts << ToQString(call.text);
    }
    return texts;
}

} // namespace

class LogowanieTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        // Every box the dialog shows is answered at once, a box too many
        // included, so that nothing waits for a person.
        for (int k = 0; k < 4; ++k)
            PushMessageBoxAnswer(IDOK);
    }
    void cleanup() {
        ClearMessageBoxAnswers();
        TakeMessageBoxCalls();
    }

    void design() {
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QString("Autoryzacja"));
        QCOMPARE(dialog.font().family(), QString("MS Sans Serif"));
        QCOMPARE(dialog.font().pixelSize(), 13);
        QVERIFY(!dialog.font().bold() && !dialog.font().italic());
        QVERIFY(dialog.minimumSize() != dialog.maximumSize()); // sizeable

        const struct {
            QWidget* widget;
            QRect geometry;
        } controls[] = {
            {dialog.Label3, {8, 16, 366, 16}},    {dialog.Label1, {96, 48, 72, 16}},
            {dialog.Edit1, {192, 40, 57, 24}},    {dialog.Label2, {96, 72, 36, 16}},
            {dialog.Edit2, {192, 64, 121, 24}},   {dialog.Bevel1, {8, 96, 441, 10}},
            {dialog.BitBtn1, {136, 120, 75, 25}}, {dialog.BitBtn2, {216, 120, 75, 25}},
        };
        for (const auto& control : controls) {
            QCOMPARE(control.widget->parentWidget(), &dialog);
            QCOMPARE(control.widget->pos(), control.geometry.topLeft());
            QCOMPARE(control.widget->height(), control.geometry.height());
            // Labels grow with a wider substitute font; nothing else moves.
            if (qobject_cast<QLabel*>(control.widget))
                QVERIFY(control.widget->width() >= control.geometry.width());
            else
                QCOMPARE(control.widget->width(), control.geometry.width());
        }
        QCOMPARE(dialog.Label3->text(),
                 QString::fromUtf8("Wprowadź nazwę użytkownika z uprawnieniami administratora"));
        QVERIFY(dialog.Label3->width() >=
                dialog.Label3->fontMetrics().horizontalAdvance(dialog.Label3->text()));
        QCOMPARE(dialog.Label1->text(), QString("Identyfikator"));
        QCOMPARE(dialog.Label2->text(), QString::fromUtf8("Hasło"));
        QCOMPARE(dialog.BitBtn1->text(), QString::fromUtf8("Zatwierdź"));
        QCOMPARE(dialog.BitBtn2->text(), QString("Anuluj"));
        QVERIFY(dialog.BitBtn1->icon().isNull() && dialog.BitBtn2->icon().isNull());
        QVERIFY(dialog.BitBtn1->isDefault());
        QVERIFY(!dialog.BitBtn2->isDefault());
        QCOMPARE(dialog.Edit1->maxLength(), 2);
        // The password has no limit: a long one pasted is taken whole.
        dialog.Edit2->insert(QString(40000, QLatin1Char('a')));
        QCOMPARE(dialog.Edit2->text(), QString(40000, QLatin1Char('A')));
        dialog.Edit2->clear();
        QCOMPARE(dialog.Edit2->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.Bevel1->frameShape(), QFrame::HLine);
        QCOMPARE(dialog.Bevel1->frameRect(), QRect(0, 8, 441, 2)); // along the bottom edge

        // Tab order: the edit boxes, then the buttons, and round again.
        QWidget* chain[] = {dialog.Edit1, dialog.Edit2, dialog.BitBtn1, dialog.BitBtn2,
                            dialog.Edit1};
        for (int k = 0; k < 4; ++k) {
            QWidget* next = chain[k]->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            QCOMPARE(next, chain[k + 1]);
        }

        ExecuteWith(dialog, [&] {
            // Outer size as designed, centred on the screen, focus in Edit1.
            QCOMPARE(dialog.frameGeometry().size(), QSize(467, 195));
            const QRect screen = dialog.screen()->geometry();
            QVERIFY(qAbs(dialog.frameGeometry().center().x() - screen.center().x()) <= 1);
            QVERIFY(qAbs(dialog.frameGeometry().center().y() - screen.center().y()) <= 1);
            QTRY_COMPARE(QApplication::focusWidget(), dialog.Edit1);
        });
    }

    void typing_data() {
        QTest::addColumn<bool>("password");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("held");
        QTest::newRow("identifier upper-cased") << false << "ap"
                                                << "AP";
        QTest::newRow("identifier at most 2") << false << "abc"
                                              << "AB";
        QTest::newRow("identifier Polish")
            << false << QString::fromUtf8("żł") << QString::fromUtf8("ŻŁ");
        QTest::newRow("password upper-cased")
            << true << QString::fromUtf8("admin łódź 7") << QString::fromUtf8("ADMIN ŁÓDŹ 7");
        QTest::newRow("password no limit") << true << "abcdefghijklmnop"
                                           << "ABCDEFGHIJKLMNOP";
        QTest::newRow("no capital in the code page")
            << true << QString::fromUtf8("ßµ") << QString::fromUtf8("ßµ");
        QTest::newRow("outside the code page")
            << true << QString::fromUtf8("ñ€あ") << QString::fromUtf8("?€?");
        QTest::newRow("outside the Basic Multilingual Plane")
            << true << QString::fromUtf8("a😀b") << QString::fromUtf8("A?B");
    }
    void typing() {
        QFETCH(bool, password);
        QFETCH(QString, typed);
        QFETCH(QString, held);
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        QLineEdit* edit = password ? dialog.Edit2 : dialog.Edit1;
        ExecuteWith(dialog, [&] {
            Type(edit, typed);
            QCOMPARE(edit->text(), held);
            QCOMPARE(edit->displayText(), password ? QString(held.size(), '*') : held);
            // The cursor stays after what was typed: typing goes on there.
            Type(edit, "x");
            QCOMPARE(edit->text().left(held.size()), held);
        });
        QVERIFY(Boxes().isEmpty());
    }

    void login_data() {
        QTest::addColumn<QString>("setup"); // UTF-8 SQL run before the table opens
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("record"); // the current staff record afterwards

        // The table starts on its first record, AD.
        QTest::newRow("empty identifier") << ""
                                          << ""
                                          << "" << QStringList{kWrongId} << "AD";
        QTest::newRow("unknown identifier") << ""
                                            << "zz"
                                            << "admin" << QStringList{kWrongId} << "AD";
        QTest::newRow("wrong password") << ""
                                        << "ap"
                                        << "admi" << QStringList{kWrongPassword} << "AP";
        QTest::newRow("typed in lower case") << ""
                                             << "ap"
                                             << "admin" << QStringList{} << "AP";
        QTest::newRow("enciphered, plain typed") << ""
                                                 << "ad"
                                                 << "1234" << QStringList{} << "AD";
        QTest::newRow("enciphered, stored letters typed")
            << ""
            << "ad"
            << "efhbikab" << QStringList{kWrongPassword} << "AD";
        // Its letters begin with the stored ones but run past 8.
        QTest::newRow("enciphered, five characters")
            << ""
            << "ad"
            << "12345" << QStringList{kWrongPassword} << "AD";
        QTest::newRow("enciphered Polish letters")
            << "update PERSONEL set HASLO = '^h^hinUn' where IDENTYFIKATOR = 'AD'"
            << "ad" << QString::fromUtf8("łódź") << QStringList{} << "AD";
        QTest::newRow("plain Polish letters")
            << QString::fromUtf8("update PERSONEL set HASLO = 'ŁÓDŹ' where IDENTYFIKATOR = 'AP'")
            << "ap" << QString::fromUtf8("łódź") << QStringList{} << "AP";
        QTest::newRow("KODOWANIE 2 is plain")
            << "update PERSONEL set KODOWANIE = 2, HASLO = '1234' where IDENTYFIKATOR = 'AD'"
            << "ad"
            << "1234" << QStringList{} << "AD";
        QTest::newRow("empty HASLO, empty password")
            << "update PERSONEL set HASLO = '' where IDENTYFIKATOR = 'AP'"
            << "ap"
            << "" << QStringList{} << "AP";
        QTest::newRow("empty HASLO, a password")
            << "update PERSONEL set HASLO = '' where IDENTYFIKATOR = 'AP'"
            << "ap"
            << "admin" << QStringList{kWrongPassword} << "AP";
        QTest::newRow("no administrator") << ""
                                          << "pr"
                                          << "prac" << QStringList{kNoRights} << "PR";
        QTest::newRow("other rights bits, no bit 0")
            << "update PERSONEL set UPRAWNIENIA = 254 where IDENTYFIKATOR = 'AP'"
            << "ap"
            << "admin" << QStringList{kNoRights} << "AP";
        QTest::newRow("bit 0 among others")
            << "update PERSONEL set UPRAWNIENIA = 255 where IDENTYFIKATOR = 'PR'"
            << "pr"
            << "prac" << QStringList{} << "PR";
    }
    void login() {
        QFETCH(QString, setup);
        QFETCH(QString, identifier);
        QFETCH(QString, password);
        QFETCH(QStringList, messages);
        QFETCH(QString, record);
        Workshop workshop(setup.toUtf8().constData());
        TFLogowanie dialog(workshop.personel);
        const bool admitted = messages.isEmpty();
        bool openAfterOk = false;
        const bool answer = ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, identifier);
            Type(dialog.Edit2, password);
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            openAfterOk = dialog.isVisible();
            if (openAfterOk) // a failure leaves it open; Cancel ends the showing
                QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        });
        QCOMPARE(Boxes(), messages);
        QCOMPARE(answer, admitted);
        QCOMPARE(openAfterOk, !admitted);
        QCOMPARE(dialog.isVisible(), false);
        QCOMPARE(workshop.current(), record);
        // Only a successful login empties the password box.
        QCOMPARE(dialog.Edit1->text(), identifier.toUpper());
        QCOMPARE(dialog.Edit2->text(), admitted ? QString() : password.toUpper());
    }

    // A failed attempt can be corrected and tried again in the same showing.
    void secondAttemptInOneShowing() {
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        const bool answer = ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, "ap");
            Type(dialog.Edit2, "adm");
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            QVERIFY(dialog.isVisible());
            Type(dialog.Edit2, "in");
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        });
        QVERIFY(answer);
        QCOMPARE(Boxes(), QStringList{kWrongPassword});
    }

    void keys_data() {
        QTest::addColumn<bool>("inPassword"); // Enter in Edit2, else in Edit1
        QTest::addColumn<int>("key");
        QTest::newRow("Return in Edit1") << false << int(Qt::Key_Return);
        QTest::newRow("Enter in Edit1") << false << int(Qt::Key_Enter);
        QTest::newRow("Return in Edit2") << true << int(Qt::Key_Return);
        QTest::newRow("Enter in Edit2") << true << int(Qt::Key_Enter);
    }
    void keys() {
        QFETCH(bool, inPassword);
        QFETCH(int, key);
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        QLineEdit* edit = inPassword ? dialog.Edit2 : dialog.Edit1;
        const bool answer = ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, "ap");
            Type(dialog.Edit2, "adminx");
            // Escape is bound to nothing: the dialog stays, the text too.
            QTest::keyClick(edit, Qt::Key_Escape);
            QVERIFY(dialog.isVisible());
            QCOMPARE(edit->text(), inPassword ? QString("ADMINX") : QString("AP"));
            // Enter presses "Zatwierdź": first a wrong password, then the
            // right one.
            QTest::keyClick(edit, Qt::Key(key));
            QVERIFY(dialog.isVisible());
            QCOMPARE(Boxes(), QStringList{kWrongPassword});
            QTest::keyClick(dialog.Edit2, Qt::Key_Backspace);
            QTest::keyClick(edit, Qt::Key(key));
        });
        QVERIFY(answer);
        QVERIFY(Boxes().isEmpty());
    }

    void closeBoxActsAsCancel() {
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        const bool answer = ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, "ap");
            Type(dialog.Edit2, "admin");
            QVERIFY(dialog.close());
        });
        QVERIFY(!answer);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Edit2->text(), QString("ADMIN"));
        QVERIFY(Boxes().isEmpty());
    }

    // After a login the next showing starts with the answer false, the
    // password box empty and the identifier still there.
    void nextShowingAfterALogin() {
        Workshop workshop;
        TFLogowanie dialog(workshop.personel);
        QVERIFY(ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, "ad");
            Type(dialog.Edit2, "1234");
            QTest::keyClick(dialog.Edit2, Qt::Key_Return);
        }));
        QString identifier;
        QString password = "unset";
        const bool answer = ExecuteWith(dialog, [&] {
            identifier = dialog.Edit1->text();
            password = dialog.Edit2->text();
            QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        });
        QVERIFY(!answer);
        QCOMPARE(identifier, QString("AD"));
        QCOMPARE(password, QString());
        QVERIFY(Boxes().isEmpty());
    }

    // A failure of the engine reaches the standard exception display; the
    // dialog stays open and a later Cancel answers false.
    void engineFailure_data() {
        QTest::addColumn<QString>("damage"); // UTF-8 SQL run once the table is open
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("message");
        QTest::newRow("search") << "drop table PERSONEL"
                                << "ap"
                                << "no such table";
        QTest::newRow("reading KODOWANIE")
            << "update PERSONEL set KODOWANIE = 'x' where IDENTYFIKATOR = 'AD'"
            << "ad"
            << "'x' of field 'KODOWANIE' is not a valid integer value";
        QTest::newRow("reading UPRAWNIENIA")
            << "update PERSONEL set UPRAWNIENIA = 'all' where IDENTYFIKATOR = 'AP'"
            << "ap"
            << "'all' of field 'UPRAWNIENIA' is not a valid integer value";
    }
    void engineFailure() {
        QFETCH(QString, damage);
        QFETCH(QString, identifier);
        QFETCH(QString, message);
        Workshop workshop;
        workshop.files.exec(damage.toStdString());
        TFLogowanie dialog(workshop.personel);
        const bool answer = ExecuteWith(dialog, [&] {
            Type(dialog.Edit1, identifier);
            Type(dialog.Edit2, identifier == "ad" ? "1234" : "admin");
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            QVERIFY(dialog.isVisible());
            QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        });
        QVERIFY(!answer);
        const auto calls = TakeMessageBoxCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QVERIFY2(ToQString(calls[0].text).contains(message), calls[0].text.c_str());
        QCOMPARE(calls[0].caption, ApplicationTitle());
        QCOMPARE(calls[0].flags, 16);
    }
};

QTEST_MAIN(LogowanieTest)
#include "LogowanieTest.moc"
