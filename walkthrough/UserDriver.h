#pragma once
// Drives the update run through its real windows as a person at the
// keyboard would: presses "Rozpocznij", types an identifier and a password
// into the login dialog and presses Enter (or presses "Anuluj"), reads each
// message box and presses one of its buttons, and watches the wait window's
// texts. What it meets is recorded in order, and each window can be saved as
// a picture. The walk-through and the end-to-end tests use it.

#include "platform/Application.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QTimer;
class QWidget;
class TFLogowanie;
class TFMain;

namespace walkthrough {

// What the person does.
struct Script {
    struct Credentials {
        QString identifier; // typed as it stands, key by key
        QString password;
    };
    // Typed into the login dialog at every showing; none presses "Anuluj".
    std::optional<Credentials> login;
    // The button pressed on a Yes/No box, by its text as the box shows it
    // (Yes unless told otherwise, in the language of an installed Qt
    // translation). Every other box gets its first button (OK).
    QString answerQuestion = platform::MessageBoxButtonText(platform::IDYES);
};

// One thing the person saw, in the program's own text (UTF-8 here).
struct Sight {
    enum Kind { LoginDialog, Box, WaitText };
    Kind kind;
    QString caption; // window title of a dialog or box
    QString text;    // text of a box, or the wait window's message
    QString picture; // file the window was saved to, or empty
    QString pressed; // the button of a box that the person pressed
};

class UserDriver : public QObject {
    Q_OBJECT
public:
    // pictureDir empty: nothing is saved.
    UserDriver(TFMain& mainForm, TFLogowanie& loginForm, Script script, QString pictureDir = {});
    ~UserDriver() override;

    // Called as each sight is recorded (for printing as it appears).
    std::function<void(const Sight&)> onSight;
    // Called on every wait text while the run shows it, from inside the run.
    std::function<void(const Sight&)> onWaitText;

    // Saves the main window, then clicks "Rozpocznij" with the mouse and
    // returns when the run has ended. The driver acts only during the click.
    void PressStart();
    // The same with a key pressed where the keyboard focus is (Space, Enter).
    void PressKey(Qt::Key key);
    // A mouse click on "Rozpocznij" from inside a run (from onWaitText).
    void ClickStartAgain();

    const std::vector<Sight>& Sights() const { return FSights; }
    // The texts of the sights of one kind, in order.
    QStringList Texts(Sight::Kind kind) const;
    int LoginShowings() const { return FLoginShowings; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Does what starts a run, watching the run until it has ended.
    void Drive(const std::function<void()>& start);
    void Look();
    void LookAtWaitWindow();
    void Record(Sight sight, QWidget* window, const QString& pictureName);
    QString Save(QWidget* window, const QString& name);

    TFMain& FMainForm;
    TFLogowanie& FLoginForm;
    Script FScript;
    QString FPictureDir;
    QTimer* FTimer;
    std::vector<Sight> FSights;
    // Windows already acted on, so that each is handled once per showing.
    QPointer<QWidget> FHandledBox;
    bool FLoginHandled = false;
    // A box came up while the login dialog was open: the login was refused.
    bool FLoginRefused = false;
    int FLoginShowings = 0;
    QString FLastWaitText;
    bool FLooking = false;
    int FPictures = 0;
};

} // namespace walkthrough
