#include "net/ThreadTimer.h"

#include "platform/Application.h"
#include "platform/Exception.h"

namespace {

constexpr const char* kWindowClass = "TmrWindowClass";
constexpr platform::UINT_PTR kTimerId = 1;

} // namespace

TThreadTimer::TThreadTimer(QObject* owner) : QObject(owner) {
    using namespace platform;
    TimerWindow = AllocateHiddenWindow(kWindowClass, &TThreadTimer::WndProc, this);
}

TThreadTimer::~TThreadTimer() {
    FEnabled = false;
    UpdateTimer(); // only kills: a disabled timer is never set, so this cannot raise
    if (TimerWindow)
        platform::DestroyWindow(TimerWindow);
}

void TThreadTimer::setEnabled(bool value) {
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TThreadTimer::setInterval(unsigned value) {
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TThreadTimer::setOnTimer(TNotifyEvent value) {
    FOnTimer = std::move(value);
    UpdateTimer();
}

void TThreadTimer::Restart(unsigned interval) {
    FInterval = interval;
    FEnabled = true;
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    if (TimerWindow)
        platform::KillTimer(TimerWindow, kTimerId);
    if (FInterval != 0 && FEnabled && FOnTimer) {
        if (platform::SetTimer(TimerWindow, kTimerId, FInterval) == 0)
            throw platform::Exception("No Timer");
    }
}

platform::LRESULT TThreadTimer::WndProc(platform::HWND window, platform::UINT message,
                                        platform::WPARAM wParam, platform::LPARAM lParam) {
    auto* timer = reinterpret_cast<TThreadTimer*>(platform::GetWindowLongPtrA(window, 0));
    if (!timer)
        return platform::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case platform::WM_TIMER:
        platform::Guard([timer] {
            if (timer->FOnTimer)
                timer->FOnTimer(timer);
        });
        return 0;
    case platform::WM_ACTIVATEAPP:
        return 0;
    default:
        return platform::DefWindowProcA(window, message, wParam, lParam);
    }
}
