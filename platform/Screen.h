#pragma once
// The application-wide screen object: which form is active, and the single
// slot notified when that changes. Qt's change of focus window feeds it.

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;
class QWindow;

namespace platform {

class TScreen : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    // The one screen object of the process; it starts listening to the
    // application when it is first asked for.
    static TScreen& Instance();

    QWidget* ActiveForm() const;

    // A single slot, as on Windows: setting it replaces whatever handler was
    // there; an empty function removes it.
    void setOnActiveFormChange(TNotifyEvent handler);
    bool hasOnActiveFormChange() const { return static_cast<bool>(FOnActiveFormChange); }

private:
    TScreen();
    void focusWindowChanged(QWindow* window);

    TNotifyEvent FOnActiveFormChange;
    QPointer<QWidget> FLastActive;
};

inline TScreen& Screen() {
    return TScreen::Instance();
}

// Makes a form the active window.
void SetActiveWindow(QWidget* form);

} // namespace platform
