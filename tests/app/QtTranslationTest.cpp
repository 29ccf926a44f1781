// Qt's own Polish texts: the buttons of the program's message boxes and the
// context menu of the login dialog's edit boxes, with the translation
// installed as start-up installs it, and English again once it is removed.
// The program's own texts are not touched by it.

#include "app/QtTranslation.h"
#include "app/ApplicationForms.h"
#include "app/Main.h"
#include "login/Logowanie.h"
#include "platform/Application.h"
#include "platform/Win1250.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace platform;

namespace {

// The texts of the buttons of the next box shown, in their order; the box
// is answered with Escape.
QStringList ButtonTextsOfBox(int flags) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton* button : box->buttons())
            texts << button->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    MessageBox(Pl("Czy chcesz?"), "Uwaga", flags);
    return texts;
}

QStringList MenuTexts(QLineEdit* edit) {
    const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text().section(QLatin1Char('\t'), 0, 0); // no shortcut
    return texts;
}

} // namespace

class QtTranslationTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TakeMessageBoxCalls(); }

    void boxButtons_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("question") << true << 36 << QStringList{"&Tak", "&Nie"};
        QTest::newRow("stop") << true << 16 << QStringList{"OK"};
        QTest::newRow("warning") << true << 48 << QStringList{"OK"};
        QTest::newRow("information") << true << 64 << QStringList{"OK"};
        QTest::newRow("question, not installed") << false << 36 << QStringList{"&Yes", "&No"};
    }
    void boxButtons() {
        QFETCH(bool, installed);
        QFETCH(int, flags);
        QFETCH(QStringList, texts);
        std::unique_ptr<app::QtTranslation> translation;
        if (installed) {
            translation = std::make_unique<app::QtTranslation>();
            QVERIFY2(translation->Loaded(), qPrintable(translation->Problem()));
        }
        QCOMPARE(ButtonTextsOfBox(flags), texts);
        QCOMPARE(MessageBoxButtonText(IDYES), QString(installed ? "&Tak" : "&Yes"));
        QCOMPARE(MessageBoxButtonText(IDNO), QString(installed ? "&Nie" : "&No"));
    }

    void loginContextMenu() {
        const QStringList english = [] {
            app::ApplicationForms forms;
            return MenuTexts(forms.Login().Edit1);
        }();
        QVERIFY2(english.contains("&Copy"), qPrintable(english.join(", ")));

        app::QtTranslation translation;
        QVERIFY2(translation.Loaded(), qPrintable(translation.Problem()));
        app::ApplicationForms forms;
        const QStringList polish = MenuTexts(forms.Login().Edit1);
        QCOMPARE(polish, QStringList({"&Cofnij", "&Przywróć", "W&ytnij", "S&kopiuj", "&Wklej",
                                      "Usuń", "Zaznacz wszystko"}));
        // The program's own texts stay as they are.
        QCOMPARE(forms.Login().BitBtn2->text(), QString("Anuluj"));
        QCOMPARE(forms.Main().Button1->text(), QString("Rozpocznij"));
    }
};

QTEST_MAIN(QtTranslationTest)
#include "QtTranslationTest.moc"
