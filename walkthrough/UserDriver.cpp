#include "walkthrough/UserDriver.h"

#include "app/Main.h"
#include "login/Logowanie.h"
#include "platform/Win1250.h"
#include "waitmessage/Waitmessage.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>

namespace walkthrough {
namespace {

// How often the person looks at the screen. Windows that block (the modal
// dialog and boxes) run their own loops, and the look runs inside them.
constexpr int kLookIntervalMs = 10;

// Runs an action once the current event has been handled: typing and
// clicking may open a modal window, whose loop must not run inside a look.
template <typename Action> void Later(QObject* context, Action action) {
    QMetaObject::invokeMethod(context, std::move(action), Qt::QueuedConnection);
}

QString FileNamePart(const QString& text) {
    QString part;
    for (const QChar c : text.left(40)) {
        if (c.isLetterOrNumber())
            part += c.toLower();
        else if (!part.endsWith(QLatin1Char('-')))
            part += QLatin1Char('-');
    }
    while (part.endsWith(QLatin1Char('-')))
        part.chop(1);
    return part;
}

} // namespace

UserDriver::UserDriver(TFMain& mainForm, TFLogowanie& loginForm, Script script, QString pictureDir)
    : FMainForm(mainForm), FLoginForm(loginForm), FScript(std::move(script)),
      FPictureDir(std::move(pictureDir)), FTimer(new QTimer(this)) {
    FTimer->setInterval(kLookIntervalMs);
    connect(FTimer, &QTimer::timeout, this, &UserDriver::Look);
    if (!FPictureDir.isEmpty())
        QDir().mkpath(FPictureDir);
    // Each showing of the login dialog is met afresh.
    FLoginForm.installEventFilter(this);
}

bool UserDriver::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FLoginForm && event->type() == QEvent::Hide) {
        FLoginHandled = false;
        FLoginRefused = false;
    }
    return QObject::eventFilter(watched, event);
}

UserDriver::~UserDriver() = default;

void UserDriver::PressStart() {
    Drive([this] { QTest::mouseClick(FMainForm.Button1, Qt::LeftButton); });
}

void UserDriver::PressKey(Qt::Key key) {
    // No widget named: the key goes wherever the keyboard focus is.
    Drive([key] { QTest::keyClick(static_cast<QWidget*>(nullptr), key); });
}

void UserDriver::Drive(const std::function<void()>& start) {
    if (!FMainForm.isVisible())
        FMainForm.show();
    Save(&FMainForm, QStringLiteral("main-window"));
    // The wait window's texts change between looks; the run lets events in
    // right after each change, and that is when the dispatcher wakes.
    const QMetaObject::Connection awake =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
                &UserDriver::LookAtWaitWindow);
    FTimer->start();
    start();
    FTimer->stop();
    disconnect(awake);
    LookAtWaitWindow();
}

void UserDriver::ClickStartAgain() {
    QTest::mouseClick(FMainForm.Button1, Qt::LeftButton);
}

QStringList UserDriver::Texts(Sight::Kind kind) const {
    QStringList texts;
    for (const Sight& sight : FSights)
        if (sight.kind == kind)
            texts << sight.text;
    return texts;
}

void UserDriver::Look() {
    if (FLooking)
        return;
    FLooking = true;
    LookAtWaitWindow();

    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && box != FHandledBox) {
        FHandledBox = box;
        FLoginRefused = FLoginForm.isVisible();
        QAbstractButton* press = box->buttons().value(0);
        for (QAbstractButton* button : box->buttons())
            if (box->buttons().size() > 1 && button->text() == FScript.answerQuestion)
                press = button;
        Record({Sight::Box,
                box->windowTitle(),
                box->text(),
                {},
                press ? QString(press->text()).remove(QLatin1Char('&')) : QString()},
               box, QStringLiteral("box-") + FileNamePart(box->text()));
        Later(this, [button = QPointer<QAbstractButton>(press)] {
            if (button)
                QTest::mouseClick(button, Qt::LeftButton);
        });
    } else if (!box && FLoginForm.isVisible() && QApplication::activeModalWidget() == &FLoginForm) {
        if (!FLoginHandled) {
            FLoginHandled = true;
            ++FLoginShowings;
            Later(this, [this] {
                if (FScript.login) {
                    QTest::keyClicks(FLoginForm.Edit1, FScript.login->identifier);
                    QTest::keyClicks(FLoginForm.Edit2, FScript.login->password);
                }
                Sight sight{Sight::LoginDialog, FLoginForm.windowTitle(), {}, {}, {}};
                if (FScript.login)
                    sight.text = FLoginForm.Edit1->text();
                Record(sight, &FLoginForm, QStringLiteral("login"));
                if (FScript.login)
                    QTest::keyClick(FLoginForm.Edit2, Qt::Key_Return);
                else
                    QTest::mouseClick(FLoginForm.BitBtn2, Qt::LeftButton);
            });
        } else if (FLoginRefused) {
            // The dialog refused the login and its box has been answered:
            // the person gives up rather than guess again.
            FLoginRefused = false;
            Later(this, [this] { QTest::mouseClick(FLoginForm.BitBtn2, Qt::LeftButton); });
        }
    }
    FLooking = false;
}

void UserDriver::LookAtWaitWindow() {
    TWaitMessage* komunikat = FMainForm.komunikat;
    if (!komunikat || !komunikat->getVisible())
        return;
    const QString text = platform::ToQString(komunikat->getMessage());
    if (text == FLastWaitText)
        return;
    // A picture of the first text of each kind: the two phases and the
    // first progress count.
    const bool counted = text.contains(QStringLiteral(" z "));
    const bool firstOfItsKind = std::none_of(FSights.begin(), FSights.end(), [&](const Sight& s) {
        return s.kind == Sight::WaitText &&
               (counted ? s.text.contains(QStringLiteral(" z ")) : s.text == text);
    });
    FLastWaitText = text;
    Record({Sight::WaitText, {}, text, {}, {}}, firstOfItsKind ? komunikat->Form() : nullptr,
           QStringLiteral("wait-") + FileNamePart(text));
    if (onWaitText)
        onWaitText(FSights.back());
}

void UserDriver::Record(Sight sight, QWidget* window, const QString& pictureName) {
    if (window)
        sight.picture = Save(window, pictureName);
    FSights.push_back(sight);
    if (onSight)
        onSight(FSights.back());
}

QString UserDriver::Save(QWidget* window, const QString& name) {
    if (FPictureDir.isEmpty())
        return {};
    const QString path =
        QDir(FPictureDir)
            .filePath(
                QStringLiteral("%1-%2.png").arg(++FPictures, 2, 10, QLatin1Char('0')).arg(name));
    return window->grab().save(path) ? path : QString();
}

} // namespace walkthrough
