// The entry point: checks for a display, installs Qt's Polish texts, builds
// the main window and the hidden login dialog, and runs the message loop.
// The exit code is 0, or 1 when there is no display to run on.

#include "app/Main.h"
#include "app/ApplicationForms.h"
#include "app/DisplayCheck.h"
#include "app/QtTranslation.h"
#include "platform/Application.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (const std::string reason = app::DisplayCheck::MissingDisplay(); !reason.empty()) {
        std::fprintf(stderr, "%s\n", app::DisplayCheck::Line(reason).c_str());
        return app::DisplayCheck::kExitCode;
    }
    // Sizes are pixels, never scaled for the screen's DPI.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    app::DisplayCheck displayCheck;
    QApplication application(argc, argv);
    displayCheck.Release();
    const app::QtTranslation translation;
    if (!translation.Loaded())
        std::fprintf(stderr, "mmw: %s\n", translation.Problem().toLocal8Bit().constData());
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
