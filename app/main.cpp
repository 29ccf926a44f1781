// The entry point: builds the main window and the hidden login dialog, and
// runs the message loop. The exit code is always 0.

#include "app/Main.h"
#include "login/Logowanie.h"
#include "platform/Application.h"

#include <QApplication>

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    // Sizes are pixels, never scaled for the screen's DPI.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    try {
        auto mainForm = std::make_unique<TFMain>();
        FMain = mainForm.get();
        // Hidden until the update run asks for a login; it checks against
        // the main window's staff table, so it is freed before that window.
        auto loginForm = std::make_unique<TFLogowanie>(FMain->TPersonel);
        FLogowanie = loginForm.get();
        mainForm->show();
        QApplication::exec();
        FLogowanie = nullptr;
        loginForm.reset();
        FMain = nullptr;
    } catch (const std::exception& e) {
        platform::ShowException(e.what());
    } catch (...) {
        platform::ShowException(std::string());
    }
    return 0;
}
