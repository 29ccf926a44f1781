#include "app/DisplayCheck.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace app {
namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category, file, function;
    int line;
    QString text;
};

std::mutex gHeldLock;
std::vector<HeldMessage> gHeld;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The first platform of QT_QPA_PLATFORM ("name:options;fallback...").
std::string ChosenPlatform() {
    const std::string value = Environment("QT_QPA_PLATFORM");
    return value.substr(0, value.find_first_of(":;"));
}

void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // Qt's platform cannot start; what it said before is the detail of
        // that and stays held back.
        const std::string display = Environment("DISPLAY");
        const std::string reason = !display.empty()
                                       ? "the display " + display + " cannot be opened"
                                       : "DISPLAY is not set and Qt cannot use WAYLAND_DISPLAY=" +
                                             Environment("WAYLAND_DISPLAY");
        std::fputs((DisplayCheck::Line(reason) + "\n").c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(DisplayCheck::kExitCode);
    }
    const std::lock_guard<std::mutex> lock(gHeldLock);
    gHeld.push_back({type, context.category ? context.category : "",
                     context.file ? context.file : "", context.function ? context.function : "",
                     context.line, text});
}

} // namespace

std::string DisplayCheck::MissingDisplay() {
    const std::string platform = ChosenPlatform();
    if (platform == "offscreen" || platform == "minimal")
        return "QT_QPA_PLATFORM=" + platform + " shows no window";
    if (platform.empty() && Environment("DISPLAY").empty() &&
        Environment("WAYLAND_DISPLAY").empty())
        return "DISPLAY is not set";
    if (platform == "xcb" && Environment("DISPLAY").empty())
        return "DISPLAY is not set";
    return {};
}

std::string DisplayCheck::Line(const std::string& reason) {
    return "mmw: no usable display (" + reason +
           "); run it on a desktop, under xvfb-run (xvfb-run mmw), or over VNC "
           "(QT_QPA_PLATFORM=vnc:port=5900 mmw, then a VNC viewer)";
}

DisplayCheck::DisplayCheck() : FPrevious(qInstallMessageHandler(Hold)) {}

DisplayCheck::~DisplayCheck() {
    Release();
}

void DisplayCheck::Release() {
    if (!FActive)
        return;
    FActive = false;
    qInstallMessageHandler(FPrevious);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> lock(gHeldLock);
        held.swap(gHeld);
    }
    for (const HeldMessage& message : held)
        FPrevious(message.type,
                  QMessageLogContext(message.file.c_str(), message.line, message.function.c_str(),
                                     message.category.c_str()),
                  message.text);
}

} // namespace app
