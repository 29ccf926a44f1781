#pragma once
// The application object: its title, the call that processes pending
// messages once, the application-modal message box and the standard display
// of an exception that escapes an event handler.

#include <functional>
#include <string>
#include <vector>

class QString;

namespace platform {

// Message box flags and answers, with their Windows values.
enum : int {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The executable's file name: the caption of the standard exception display.
std::string ApplicationTitle();

// Processes the events that are pending now, once, and returns. Once the
// application is terminated it processes nothing and raises ETerminated: a
// long step that pumps messages stops at its next pumping point.
void ProcessMessages();

// Ends the program, as closing its main window does: the message loop
// returns as soon as control gets back to it, every modal loop running
// inside it ends, every later pumping point (ProcessMessages, WaitMessage)
// raises ETerminated and no message box is shown any more. There is no way
// back for the process.
void Terminate();
bool Terminated();

// An application-modal box with a Windows-1250 text and caption; flags hold
// the Windows button set (low four bits) and icon (next four bits). The first
// button is the default, so Enter answers it. Returns the Windows answer.
// In a terminated application nothing is shown (or recorded) and the answer
// is that of a box closed from its title bar.
int MessageBox(const std::string& text, const std::string& caption, int flags);

// The text of the button that gives an answer (IDOK, IDCANCEL, IDYES,
// IDNO), as the boxes show it: Qt's standard button text, in the language of
// an installed Qt translation. Empty for another answer.
QString MessageBoxButtonText(int answer);

// A box as it was asked for, recorded for tests.
struct MessageBoxCall {
    std::string text;
    std::string caption;
    int flags;
};

// Test support. While answers are queued, each box takes the next one instead
// of being shown. Every box, shown or answered, is recorded.
void PushMessageBoxAnswer(int answer);
void ClearMessageBoxAnswers();
std::vector<MessageBoxCall> TakeMessageBoxCalls();
// A test process plays the program many times: the next one starts afresh.
void ClearTerminated();

// The standard exception display: the message, with "." added when its last
// character's code is above that of ".", the application title as caption,
// flags 16.
void ShowException(const std::string& message);

// The one guard around every event handler: no exception crosses the event
// loop; whatever escapes goes to the standard exception display, a thrown
// value that is no exception as one with an empty message.
void Guard(const std::function<void()>& handler);

} // namespace platform
