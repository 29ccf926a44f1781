// The wait-message component: its window, the hand-back of the activation,
// the picture at the left and the registration on the component page.

#include "waitmessage/Waitmessage.h"

#include "platform/Application.h"
#include "platform/ComponentRegistry.h"
#include "platform/Exception.h"
#include "platform/Screen.h"
#include "platform/Win1250.h"
#include "tests/support/TempDir.h"
#include "tests/waitmessage/WaitmessageFixtures.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace platform;

namespace {

const QColor kPaleGreen(189, 219, 189);

} // namespace

class TestWaitMessage : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void newComponentShowsNothing_data();
    void newComponentShowsNothing();
    void windowLooksAsBuilt();
    void labelLooksAsBuilt();
    void textProperties_data();
    void textProperties();
    void messageIsShownAsPlainText();
    void colorSetsPanel_data();
    void colorSetsPanel();
    void cursorChangesWindowNotPanel_data();
    void cursorChangesWindowNotPanel();
    void positionAppliesWhenShown_data();
    void positionAppliesWhenShown();

    void visibleFalseRemovesAnyHandler_data();
    void visibleFalseRemovesAnyHandler();
    void visibleTrueLeavesHandler_data();
    void visibleTrueLeavesHandler();
    void visibleActiveFalseHidesAndRemoves();
    void activationHandedBack_data();
    void activationHandedBack();
    void destroyedComponentDropsOnlyItsOwnHandler_data();
    void destroyedComponentDropsOnlyItsOwnHandler();

    void imageStripWidth_data();
    void imageStripWidth();
    void pictureCentredAndTransparent();
    void imageLoadFailure_data();
    void imageLoadFailure();

    void registerPutsClassOnZirkonal();
};

void TestWaitMessage::cleanup() {
    Screen().setOnActiveFormChange({});
    ClearMessageBoxAnswers();
    TakeMessageBoxCalls();
}

void TestWaitMessage::newComponentShowsNothing_data() {
    QTest::addColumn<bool>("active");
    QTest::newRow("Visible") << false;
    QTest::newRow("VisibleActive") << true;
}

void TestWaitMessage::newComponentShowsNothing() {
    QFETCH(bool, active);
    TWaitMessage wm;
    QVERIFY(TakeMessageBoxCalls().empty()); // building raised nothing
    QVERIFY(wm.Form());
    QVERIFY(!wm.getVisible());
    QVERIFY(!wm.getVisibleActive());
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());

    if (active)
        wm.setVisibleActive(true);
    else
        wm.setVisible(true);
    QVERIFY(wm.getVisible());
    QVERIFY(wm.Form()->isVisible());
    QCOMPARE(wm.getVisibleActive(), active);
}

void TestWaitMessage::windowLooksAsBuilt() {
    TWaitMessage wm;
    QWidget* form = wm.Form();
    QVERIFY(form->isWindow());
    QCOMPARE(form->size(), QSize(400, 50));
    QVERIFY(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(wm.getCaption(), std::string());
    QCOMPARE(form->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(wm.getCursor(), crHourGlass);
    QCOMPARE(wm.getPosition(), poScreenCenter);

    wm.setVisible(true);
    QFrame* panel = wm.Panel();
    QCOMPARE(panel->parentWidget(), form);
    QCOMPARE(panel->geometry(), form->rect());
    QCOMPARE(panel->frameShape(), QFrame::Panel);
    QCOMPARE(panel->frameShadow(), QFrame::Raised);
    QCOMPARE(panel->frameWidth(), 1);
    QCOMPARE(panel->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(wm.getColor(), TColor(12442557));
    QCOMPARE(panel->palette().color(QPalette::Window), kPaleGreen);
}

void TestWaitMessage::labelLooksAsBuilt() {
    TWaitMessage wm;
    QLabel* label = wm.Label();
    QCOMPARE(label->objectName(), QStringLiteral("Tytul"));
    QCOMPARE(label->parentWidget(), wm.Panel());
    QCOMPARE(label->text(), QStringLiteral("Czekaj cierpliwie ..."));
    QCOMPARE(wm.getMessage(), std::string("Czekaj cierpliwie ..."));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().family(), wm.Form()->font().family());
    QCOMPARE(label->font().pointSizeF(), wm.Form()->font().pointSizeF());
    QVERIFY(!wm.Form()->font().bold());
}

void TestWaitMessage::textProperties_data() {
    QTest::addColumn<bool>("caption");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("message, ascii") << false << QByteArray("Pobieram marki, modele i werjse\n");
    QTest::newRow("message, polish") << false << QByteArray("Wczytuję: źdźbło, Łódź");
    QTest::newRow("message, empty") << false << QByteArray();
    QTest::newRow("caption, polish") << true << QByteArray("Proszę czekać");
    QTest::newRow("caption, ascii") << true << QByteArray("Wait");
}

void TestWaitMessage::textProperties() {
    QFETCH(bool, caption);
    QFETCH(QByteArray, utf8);
    const std::string text = Pl(utf8.toStdString());
    TWaitMessage wm;
    if (caption) {
        wm.setCaption(text);
        QCOMPARE(wm.getCaption(), text);
        QCOMPARE(wm.Form()->windowTitle(), QString::fromUtf8(utf8));
    } else {
        wm.setMessage(text);
        QCOMPARE(wm.getMessage(), text);
        QCOMPARE(wm.Label()->text(), QString::fromUtf8(utf8));
    }
}

void TestWaitMessage::messageIsShownAsPlainText() {
    // Markup in a message is shown as its characters: wider than the one
    // bold letter it would render as.
    TWaitMessage plain;
    plain.setMessage("x");
    TWaitMessage markup;
    markup.setMessage("<b>x</b>");
    QVERIFY(markup.Label()->sizeHint().width() > 3 * plain.Label()->sizeHint().width());
}

void TestWaitMessage::colorSetsPanel_data() {
    QTest::addColumn<int>("color");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("red") << 0x0000FF << QColor(255, 0, 0);
    QTest::newRow("blue") << 0xFF0000 << QColor(0, 0, 255);
    QTest::newRow("mixed") << 0x123456 << QColor(0x56, 0x34, 0x12);
}

void TestWaitMessage::colorSetsPanel() {
    QFETCH(int, color);
    QFETCH(QColor, expected);
    TWaitMessage wm;
    wm.setColor(color);
    QCOMPARE(wm.getColor(), color);
    QCOMPARE(wm.Panel()->palette().color(QPalette::Window), expected);
    wm.setVisible(true);
    const QImage shot = wm.Form()->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() - 5, shot.height() / 2), expected);
}

void TestWaitMessage::cursorChangesWindowNotPanel_data() {
    QTest::addColumn<int>("cursor");
    QTest::addColumn<Qt::CursorShape>("shape");
    QTest::newRow("hand point") << int(crHandPoint) << Qt::PointingHandCursor;
    QTest::newRow("arrow") << int(crArrow) << Qt::ArrowCursor;
    QTest::newRow("cross") << int(crCross) << Qt::CrossCursor;
}

void TestWaitMessage::cursorChangesWindowNotPanel() {
    QFETCH(int, cursor);
    QFETCH(Qt::CursorShape, shape);
    TWaitMessage wm;
    wm.setCursor(cursor);
    QCOMPARE(wm.getCursor(), cursor);
    QCOMPARE(wm.Form()->cursor().shape(), shape);
    QCOMPARE(wm.Panel()->cursor().shape(), Qt::WaitCursor);
}

void TestWaitMessage::positionAppliesWhenShown_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("centred");
    QTest::newRow("screen centre (built)") << -1 << true;
    QTest::newRow("screen centre") << int(poScreenCenter) << true;
    QTest::newRow("designed") << int(poDesigned) << false;
}

void TestWaitMessage::positionAppliesWhenShown() {
    QFETCH(int, position);
    QFETCH(bool, centred);
    TWaitMessage wm;
    if (position >= 0) {
        wm.setPosition(static_cast<TPosition>(position));
        QCOMPARE(int(wm.getPosition()), position);
    }
    const QPoint designed(5, 7);
    wm.Form()->move(designed);
    QCOMPARE(wm.Form()->pos(), designed); // nothing moves before it is shown
    wm.setVisible(true);
    if (centred) {
        const QPoint delta =
            wm.Form()->geometry().center() - wm.Form()->screen()->geometry().center();
        QVERIFY2(delta.manhattanLength() <= 2,
                 qPrintable(QString("off by %1,%2").arg(delta.x()).arg(delta.y())));
    } else {
        QCOMPARE(wm.Form()->pos(), designed);
    }
}

void TestWaitMessage::visibleFalseRemovesAnyHandler_data() {
    QTest::addColumn<bool>("foreign");
    QTest::newRow("installed by VisibleActive") << false;
    QTest::newRow("installed by other code") << true;
}

void TestWaitMessage::visibleFalseRemovesAnyHandler() {
    QFETCH(bool, foreign);
    TWaitMessage wm;
    wm.setVisibleActive(true);
    if (foreign)
        Screen().setOnActiveFormChange([](QObject*) {});
    QVERIFY(wm.getVisibleActive());
    wm.setVisible(false);
    QVERIFY(!Screen().hasOnActiveFormChange());
    QVERIFY(!wm.getVisible());
    QVERIFY(!wm.getVisibleActive());
}

void TestWaitMessage::visibleTrueLeavesHandler_data() {
    QTest::addColumn<int>("installed"); // 0 none, 1 by VisibleActive, 2 by other code
    QTest::newRow("no handler") << 0;
    QTest::newRow("handler of VisibleActive") << 1;
    QTest::newRow("handler of other code") << 2;
}

void TestWaitMessage::visibleTrueLeavesHandler() {
    QFETCH(int, installed);
    TWaitMessage wm;
    if (installed == 1) {
        wm.setVisibleActive(true);
    } else if (installed == 2) {
        Screen().setOnActiveFormChange([](QObject*) {});
    }
    wm.setVisible(true);
    QCOMPARE(Screen().hasOnActiveFormChange(), installed != 0);
    QCOMPARE(wm.getVisibleActive(), installed != 0);
}

void TestWaitMessage::visibleActiveFalseHidesAndRemoves() {
    TWaitMessage wm;
    wm.setVisibleActive(true);
    QVERIFY(Screen().hasOnActiveFormChange());
    wm.setVisibleActive(false);
    QVERIFY(!wm.getVisible());
    QVERIFY(!Screen().hasOnActiveFormChange());
    QVERIFY(!wm.getVisibleActive());
}

void TestWaitMessage::activationHandedBack_data() {
    QTest::addColumn<bool>("active");
    QTest::newRow("VisibleActive") << true;
    QTest::newRow("Visible only") << false;
}

void TestWaitMessage::activationHandedBack() {
    QFETCH(bool, active);
    TWaitMessage wm;
    if (active)
        wm.setVisibleActive(true);
    else
        wm.setVisible(true);
    QWidget other;
    other.resize(200, 100);
    other.show();
    QVERIFY(ActivateAndSettle(other));
    if (active) {
        QTRY_COMPARE(QApplication::activeWindow(), wm.Form());
    } else {
        QCOMPARE(QApplication::activeWindow(), &other);
    }
    Settle();
    QCOMPARE(QApplication::activeWindow(), active ? wm.Form() : &other);
}

void TestWaitMessage::destroyedComponentDropsOnlyItsOwnHandler_data() {
    QTest::addColumn<int>("after"); // what happens after VisibleActive
    QTest::newRow("nothing") << 0;
    QTest::newRow("destroyed with its owner") << 1;
    QTest::newRow("another component took the slot") << 2;
    QTest::newRow("other code took the slot") << 3;
}

void TestWaitMessage::destroyedComponentDropsOnlyItsOwnHandler() {
    QFETCH(int, after);
    auto owner = std::make_unique<QObject>();
    auto* wm = new TWaitMessage(owner.get());
    wm->setVisibleActive(true);
    QVERIFY(Screen().hasOnActiveFormChange());

    TWaitMessage second;
    auto foreignToken = std::make_shared<int>(0);
    if (after == 2)
        second.setVisibleActive(true);
    if (after == 3)
        Screen().setOnActiveFormChange([foreignToken](QObject*) { ++*foreignToken; });

    if (after == 1)
        owner.reset();
    else
        delete wm;

    QCOMPARE(Screen().hasOnActiveFormChange(), after >= 2);
    if (after == 2)
        QVERIFY(second.getVisibleActive());
    if (after == 3)
        QCOMPARE(foreignToken.use_count(), 2L); // the slot still holds it

    // A change of the active form now reaches no destroyed component.
    QWidget other;
    other.show();
    QVERIFY(ActivateAndSettle(other));
    if (after == 2)
        QTRY_COMPARE(QApplication::activeWindow(), second.Form());
    if (after == 3)
        QVERIFY(*foreignToken > 0);
}

void TestWaitMessage::imageStripWidth_data() {
    QTest::addColumn<QList<int>>("bitmapWidths"); // loaded one after the other
    QTest::addColumn<int>("stripWidth");
    QTest::newRow("no image") << QList<int>{} << 0;
    QTest::newRow("40 pixels") << QList<int>{40} << 60;
    QTest::newRow("41 pixels, truncated") << QList<int>{41} << 61;
    QTest::newRow("1 pixel") << QList<int>{1} << 1;
    QTest::newRow("40 then 20") << QList<int>{40, 20} << 30;
}

void TestWaitMessage::imageStripWidth() {
    QFETCH(QList<int>, bitmapWidths);
    QFETCH(int, stripWidth);
    testsupport::TempDir dir;
    TWaitMessage wm;
    std::string last;
    for (int i = 0; i < bitmapWidths.size(); ++i) {
        // A name with Polish letters, as the system names it on disk.
        last = dir.file(platform::Pl("obraz-źdźbło") + std::to_string(i) + ".bmp");
        WriteBitmap(last, bitmapWidths[i], 20, Qt::blue, Qt::blue);
        wm.setImageFile(last);
    }
    QCOMPARE(wm.getImageFile(), last);
    wm.setVisible(true);
    // The panel's client area lies inside its one-pixel edge.
    const QRect client(1, 1, 398, 48);
    QCOMPARE(wm.Image()->width(), stripWidth);
    QCOMPARE(wm.Label()->geometry(), QRect(client.left() + stripWidth, client.top(),
                                           client.width() - stripWidth, client.height()));
    if (stripWidth > 0)
        QCOMPARE(wm.Image()->geometry(),
                 QRect(client.left(), client.top(), stripWidth, client.height()));
}

void TestWaitMessage::pictureCentredAndTransparent() {
    // Blue picture 40 x 20; its bottom-left pixel is red, which makes red
    // the transparent colour. One more red pixel sits at (20, 10).
    testsupport::TempDir dir;
    const std::string file = dir.file("picture.bmp");
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    picture.setPixelColor(0, 19, Qt::red);
    picture.setPixelColor(20, 10, Qt::red);
    QVERIFY(picture.save(QString::fromStdString(file), "BMP"));

    TWaitMessage wm;
    wm.setMessage("");
    wm.setImageFile(file);
    wm.setVisible(true);
    const QImage shot = wm.Form()->grab().toImage();
    // Strip x 1..60, client y 1..48: the picture starts at (1 + 10, 1 + 14).
    const QPoint origin(11, 15);
    QCOMPARE(shot.pixelColor(origin + QPoint(5, 5)), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(origin + QPoint(39, 0)), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(origin + QPoint(20, 10)), kPaleGreen);
    QCOMPARE(shot.pixelColor(origin + QPoint(0, 19)), kPaleGreen);
    // The quarter-width margins beside the picture show the panel.
    QCOMPARE(shot.pixelColor(origin + QPoint(-1, 5)), kPaleGreen);
    QCOMPARE(shot.pixelColor(origin + QPoint(40, 5)), kPaleGreen);
}

void TestWaitMessage::imageLoadFailure_data() {
    QTest::addColumn<int>("content"); // 0 missing, 1 PNG, 2 text
    QTest::addColumn<bool>("priorPicture");
    QTest::addColumn<int>("stripWidth");
    QTest::newRow("missing file") << 0 << false << 0;
    QTest::newRow("PNG named .bmp") << 1 << false << 0;
    QTest::newRow("text file") << 2 << false << 0;
    QTest::newRow("missing file after a 40-pixel bitmap") << 0 << true << 40;
    QTest::newRow("PNG after a 40-pixel bitmap") << 1 << true << 40;
}

void TestWaitMessage::imageLoadFailure() {
    QFETCH(int, content);
    QFETCH(bool, priorPicture);
    QFETCH(int, stripWidth);
    testsupport::TempDir dir;
    TWaitMessage wm;
    if (priorPicture) {
        const std::string prior = dir.file("prior.bmp");
        WriteBitmap(prior, 40, 20, Qt::blue, Qt::blue);
        wm.setImageFile(prior);
        QCOMPARE(wm.Image()->width(), 60);
    }
    const std::string file = dir.file("broken.bmp");
    if (content == 1) {
        QImage png(40, 20, QImage::Format_RGB32);
        png.fill(Qt::green);
        QVERIFY(png.save(QString::fromStdString(file), "PNG"));
    } else if (content == 2) {
        QFile text(QString::fromStdString(file));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("BM is not enough to make a bitmap\n");
    }

    bool raised = false;
    try {
        wm.setImageFile(file);
    } catch (const Exception& e) {
        raised = true;
        QVERIFY2(e.Message().find(file) != std::string::npos, e.what());
    }
    QVERIFY(raised);
    QCOMPARE(wm.getImageFile(), file);
    wm.setVisible(true);
    QCOMPARE(wm.Image()->width(), stripWidth);
    QCOMPARE(wm.Label()->geometry().left(), 1 + stripWidth);
}

void TestWaitMessage::registerPutsClassOnZirkonal() {
    TWaitMessage::Register();
    const ComponentClass* entry = FindComponentClass("TWaitMessage");
    QVERIFY(entry);
    QCOMPARE(entry->page, std::string("Zirkonal"));
    QObject owner;
    QObject* made = entry->create(&owner);
    QVERIFY(qobject_cast<TWaitMessage*>(made));
    QCOMPARE(made->parent(), &owner);
    QVERIFY(qobject_cast<TWaitMessage*>(made)->Form());
}

QTEST_MAIN(TestWaitMessage)
#include "WaitmessageTest.moc"
