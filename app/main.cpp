// The entry point: builds the main window and the hidden login dialog, and
// runs the message loop. The exit code is always 0.

#include "app/Main.h"
#include "app/ApplicationForms.h"
#include "platform/Application.h"

#include <QApplication>

#include <exception>

int main(int argc, char** argv) {
    // Sizes are pixels, never scaled for the screen's DPI.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    try {
        app::ApplicationForms forms;
        forms.Main().show();
        QApplication::exec();
    } catch (const std::exception& e) {
        platform::ShowException(e.what());
    } catch (...) {
        platform::ShowException(std::string());
    }
    return 0;
}
