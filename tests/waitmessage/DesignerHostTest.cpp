// Inside the visual form designer ("bcb.exe" in the executable's path) the
// wait window never takes the activation from the designer's own windows.
// This test is built as an executable of that name.

#include "waitmessage/Waitmessage.h"

#include "platform/FileServices.h"
#include "platform/Screen.h"
#include "tests/waitmessage/WaitmessageFixtures.h"

#include <QApplication>
#include <QtTest>

class TestWaitMessageInDesigner : public QObject {
    Q_OBJECT
private slots:
    void activationStaysWithDesigner() {
        QVERIFY2(platform::ExeName().find("bcb.exe") != std::string::npos,
                 "this test must run as an executable named ...bcb.exe");
        TWaitMessage wm;
        wm.setVisibleActive(true);
        QVERIFY(wm.getVisibleActive());
        QWidget other;
        other.show();
        QVERIFY(ActivateAndSettle(other));
        Settle();
        QCOMPARE(QApplication::activeWindow(), &other);
        QVERIFY(wm.getVisible());
    }
};

QTEST_MAIN(TestWaitMessageInDesigner)
#include "DesignerHostTest.moc"
