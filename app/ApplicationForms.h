#pragma once
// The forms of the process, built as start-up builds them: the main window
// FMain first, so that it is the application's main window, then the login
// dialog FLogowanie, hidden. The entry point, the walk-through and the tests
// all start the program through this one place.

#include <memory>

class TFLogowanie;
class TFMain;

namespace app {

class ApplicationForms {
public:
    // Sets the globals FMain and FLogowanie; the main window is not shown.
    ApplicationForms();
    // Frees the login dialog before the main window whose staff table it
    // reads, and clears both globals.
    ~ApplicationForms();
    ApplicationForms(const ApplicationForms&) = delete;
    ApplicationForms& operator=(const ApplicationForms&) = delete;

    TFMain& Main() const { return *FMainForm; }
    TFLogowanie& Login() const { return *FLoginForm; }

private:
    std::unique_ptr<TFMain> FMainForm;
    std::unique_ptr<TFLogowanie> FLoginForm;
};

} // namespace app
