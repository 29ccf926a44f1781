#include "platform/MessageWindow.h"

#include "platform/Application.h"
#include "platform/Exception.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimerEvent>

#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace platform {
namespace {

struct ClassEntry {
    WNDPROC proc;
    int extraBytes;
};

// Classes and the set of live windows are looked at from any thread that
// posts; everything else about a window belongs to its own thread.
struct Registry {
    std::mutex lock;
    std::map<std::string, ClassEntry> classes;
    std::set<HWND> live;
};

Registry& TheRegistry() {
    // Never destroyed: a worker thread may still post while the process
    // ends.
    static Registry* registry = new Registry;
    return *registry;
}

QEvent::Type MessageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class MessageEvent : public QEvent {
public:
    MessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(MessageEventType()), message(message), wParam(wParam), lParam(lParam) {}
    const UINT message;
    const WPARAM wParam;
    const LPARAM lParam;
};

} // namespace

class HiddenWindow : public QObject {
public:
    HiddenWindow(WNDPROC proc, int extraBytes)
        : FProc(proc), FExtra(static_cast<std::size_t>(extraBytes), '\0') {}

    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
        ++FDepth;
        LRESULT result = 0;
        // A window procedure must not throw; should one, the exception must
        // still not cross the event loop.
        Guard([&] { result = FProc(this, message, wParam, lParam); });
        --FDepth;
        if (FDestroyed && FDepth == 0)
            delete this;
        return result;
    }

    // Called with the window already out of the live set.
    void Destroy() {
        for (const auto& [id, qtId] : FTimers)
            killTimer(qtId);
        FTimers.clear();
        QCoreApplication::removePostedEvents(this, MessageEventType());
        if (FDepth > 0)
            FDestroyed = true; // deleted when its procedure returns
        else
            delete this;
    }

    std::vector<char>& Extra() { return FExtra; }

    UINT_PTR StartTimer(UINT_PTR id, UINT elapse) {
        StopTimer(id);
        const int qtId = startTimer(static_cast<int>(elapse), Qt::PreciseTimer);
        if (qtId == 0)
            return 0;
        FTimers[id] = qtId;
        return id;
    }

    bool StopTimer(UINT_PTR id) {
        const auto it = FTimers.find(id);
        if (it == FTimers.end())
            return false;
        killTimer(it->second);
        FTimers.erase(it);
        return true;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == MessageEventType()) {
            const auto* m = static_cast<const MessageEvent*>(e);
            if (!FDestroyed)
                Dispatch(m->message, m->wParam, m->lParam);
            return true;
        }
        return QObject::event(e);
    }

    void timerEvent(QTimerEvent* e) override {
        for (const auto& [id, qtId] : FTimers) {
            if (qtId == e->timerId()) {
                const UINT_PTR timerId = id;
                Dispatch(WM_TIMER, timerId, 0);
                return;
            }
        }
    }

private:
    WNDPROC FProc;
    std::vector<char> FExtra;
    std::map<UINT_PTR, int> FTimers; // our id -> Qt's id
    int FDepth = 0;                  // nesting of running window procedures
    bool FDestroyed = false;
};

ATOM RegisterClassA(const WNDCLASSA& windowClass) {
    if (!windowClass.lpszClassName || !*windowClass.lpszClassName || !windowClass.lpfnWndProc ||
        windowClass.cbWndExtra < 0)
        return 0;
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    const auto [it, inserted] = registry.classes.emplace(
        windowClass.lpszClassName, ClassEntry{windowClass.lpfnWndProc, windowClass.cbWndExtra});
    if (!inserted)
        return 0;
    // An atom is a small number that stands for the class; the count is one.
    return static_cast<ATOM>(0xC000 + registry.classes.size());
}

bool GetClassInfoA(const char* className, WNDCLASSA* windowClass) {
    if (!className)
        return false;
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    const auto it = registry.classes.find(className);
    if (it == registry.classes.end())
        return false;
    if (windowClass) {
        windowClass->lpfnWndProc = it->second.proc;
        windowClass->cbWndExtra = it->second.extraBytes;
        windowClass->lpszClassName = it->first.c_str();
    }
    return true;
}

HWND CreateWindowExA(std::uint32_t /*exStyle*/, const char* className, const char* /*windowName*/,
                     std::uint32_t /*style*/, int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                     HWND /*parent*/) {
    WNDCLASSA windowClass;
    if (!GetClassInfoA(className, &windowClass))
        return nullptr;
    auto* window = new HiddenWindow(windowClass.lpfnWndProc, windowClass.cbWndExtra);
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.live.insert(window);
    return window;
}

bool IsWindow(HWND window) {
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    return window && registry.live.count(window) != 0;
}

bool DestroyWindow(HWND window) {
    {
        auto& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        if (!window || registry.live.erase(window) == 0)
            return false;
    }
    window->Destroy();
    return true;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    if (!IsWindow(window) || index < 0)
        return 0;
    auto& extra = window->Extra();
    if (static_cast<std::size_t>(index) + sizeof(LONG_PTR) > extra.size())
        return 0;
    LONG_PTR value;
    std::memcpy(&value, extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    if (!IsWindow(window) || index < 0)
        return 0;
    auto& extra = window->Extra();
    if (static_cast<std::size_t>(index) + sizeof(LONG_PTR) > extra.size())
        return 0;
    LONG_PTR previous;
    std::memcpy(&previous, extra.data() + index, sizeof previous);
    std::memcpy(extra.data() + index, &value, sizeof value);
    return previous;
}

HWND AllocateHiddenWindow(const char* className, WNDPROC procedure, void* owner) {
    if (!GetClassInfoA(className, nullptr)) {
        WNDCLASSA windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.cbWndExtra = sizeof(LONG_PTR); // the owner
        windowClass.lpszClassName = className;
        if (!RegisterClassA(windowClass))
            return nullptr;
    }
    const HWND window =
        CreateWindowExA(WS_EX_TOOLWINDOW, className, "", WS_POPUP, 0, 0, 0, 0, nullptr);
    if (window)
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

LRESULT DefWindowProcA(HWND /*window*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    return 0;
}

bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& registry = TheRegistry();
    // Held while posting, so the window cannot go between the test and the
    // post; DestroyWindow then drops what was posted.
    std::lock_guard<std::mutex> guard(registry.lock);
    if (!window || registry.live.count(window) == 0)
        return false;
    QCoreApplication::postEvent(window, new MessageEvent(message, wParam, lParam));
    return true;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(window))
        return 0;
    return window->Dispatch(message, wParam, lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse) {
    if (!IsWindow(window))
        return 0;
    if (elapse < USER_TIMER_MINIMUM)
        elapse = USER_TIMER_MINIMUM;
    if (elapse > USER_TIMER_MAXIMUM)
        elapse = USER_TIMER_MAXIMUM;
    return window->StartTimer(id, elapse);
}

bool KillTimer(HWND window, UINT_PTR id) {
    if (!IsWindow(window))
        return false;
    return window->StopTimer(id);
}

void WaitMessage() {
    if (Terminated())
        throw ETerminated();
    // A wake-up by a message posted while the loop slept returns from the
    // wait before the message is delivered; so deliver what is there once
    // more, without waiting, before the caller looks at its state again.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ProcessMessages();
}

} // namespace platform
