#pragma once
// Start-up without a display a person can use. Qt itself would abort the
// process (status 134) when its platform cannot start, and would run the
// offscreen or minimal platforms without a window anyone sees; either way
// nobody could press the button. The program says so in one line on
// standard error, with the ways to run it, and ends with status 1.

#include <QtGlobal>

#include <string>

namespace app {

class DisplayCheck {
public:
    // Why the platform the environment chooses can show no window, or empty
    // text when it may: QT_QPA_PLATFORM naming offscreen or minimal, or no
    // platform named and neither DISPLAY nor WAYLAND_DISPLAY set. A display
    // that is named may still turn out dead; the guard below catches that.
    static std::string MissingDisplay();

    // The line printed, for a reason as above.
    static std::string Line(const std::string& reason);

    // While the guard is active, Qt's messages are held back. A fatal one
    // (Qt's platform cannot start) prints Line() and ends the process with
    // status 1 instead of the abort; Release() hands the held messages to
    // the handler that was there before and restores it.
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;
    void Release();

    static constexpr int kExitCode = 1;

private:
    QtMessageHandler FPrevious;
    bool FActive = true;
};

} // namespace app
