#include "platform/Screen.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace platform {

TScreen& TScreen::Instance() {
    // Owned by the application object, and made anew for a later one.
    static QPointer<TScreen> screen;
    if (!screen)
        screen = new TScreen();
    return *screen;
}

TScreen::TScreen() : QObject(qApp) {
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::focusWindowChanged, this, &TScreen::focusWindowChanged);
}

QWidget* TScreen::ActiveForm() const {
    return QApplication::activeWindow();
}

void TScreen::setOnActiveFormChange(TNotifyEvent handler) {
    FOnActiveFormChange = std::move(handler);
}

void TScreen::focusWindowChanged(QWindow*) {
    QWidget* active = QApplication::activeWindow();
    if (!active || active == FLastActive)
        return;
    FLastActive = active;
    // Copied first: the handler may replace itself while it runs.
    if (TNotifyEvent handler = FOnActiveFormChange)
        handler(this);
}

void SetActiveWindow(QWidget* form) {
    if (!form)
        return;
    form->raise();
    form->activateWindow();
}

} // namespace platform
