#include "platform/Application.h"

#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <deque>
#include <exception>

namespace platform {
namespace {

std::deque<int> gAnswers;
std::vector<MessageBoxCall> gCalls;
bool gTerminated = false;

struct ButtonKind {
    const char* text;
    int answer;
};

std::vector<ButtonKind> ButtonsFor(int flags) {
    switch (flags & 0x0F) {
    case MB_OKCANCEL:
        return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_YESNOCANCEL:
        return {{"&Yes", IDYES}, {"&No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO:
        return {{"&Yes", IDYES}, {"&No", IDNO}};
    default:
        return {{"OK", IDOK}};
    }
}

// The texts are those of Qt's standard buttons, so an installed Qt
// translation gives them in its language ("&Tak", "&Nie").
QString Translated(const char* text) {
    return QCoreApplication::translate("QPlatformTheme", text);
}

QMessageBox::Icon IconFor(int flags) {
    switch (flags & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

std::string ApplicationTitle() {
    return ExtractFileName(ExeName());
}

void ProcessMessages() {
    if (!gTerminated)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (gTerminated)
        throw ETerminated();
}

void Terminate() {
    gTerminated = true;
    // exit, not quit: quit first asks every window to close, and a window
    // that refuses would keep the process alive.
    QCoreApplication::exit(0);
}

bool Terminated() {
    return gTerminated;
}

void ClearTerminated() {
    gTerminated = false;
}

int MessageBox(const std::string& text, const std::string& caption, int flags) {
    if (gTerminated)
        return ButtonsFor(flags).back().answer;
    gCalls.push_back({text, caption, flags});
    if (!gAnswers.empty()) {
        const int answer = gAnswers.front();
        gAnswers.pop_front();
        return answer;
    }
    QMessageBox box(IconFor(flags), ToQString(caption), ToQString(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    const auto kinds = ButtonsFor(flags);
    std::vector<QPushButton*> buttons;
    for (const auto& kind : kinds) {
        // Buttons are laid out in the order they are added, as on Windows.
        buttons.push_back(box.addButton(Translated(kind.text), QMessageBox::ActionRole));
    }
    box.setDefaultButton(buttons.front());
    // Escape answers Cancel where there is one, else the last button (No, or
    // the lone OK), as a Windows box closed from its title bar does.
    box.setEscapeButton(buttons.back());
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return kinds[i].answer;
    return kinds.back().answer;
}

QString MessageBoxButtonText(int answer) {
    for (const int flags : {MB_YESNOCANCEL, MB_OKCANCEL})
        for (const ButtonKind& kind : ButtonsFor(flags))
            if (kind.answer == answer)
                return Translated(kind.text);
    return {};
}

void PushMessageBoxAnswer(int answer) {
    gAnswers.push_back(answer);
}

void ClearMessageBoxAnswers() {
    gAnswers.clear();
}

std::vector<MessageBoxCall> TakeMessageBoxCalls() {
    std::vector<MessageBoxCall> calls;
    calls.swap(gCalls);
    return calls;
}

void ShowException(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text.push_back('.');
    MessageBox(text, ApplicationTitle(), MB_OK | MB_ICONSTOP);
}

void Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(std::string());
    }
}

} // namespace platform
